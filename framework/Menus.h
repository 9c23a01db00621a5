#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Component.h"

class TMenu;
class TCustomForm;

// One command of a menu, or a submenu when it has items. GroupIndex places the item in
// one of the six groups of OLE menu merging.
class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;

    const char* ClassName() const override { return "TMenuItem"; }
    void DefineProperties(TPropertyList& list) override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value);
    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value);
    const TNotifyEvent& OnClick() const { return onClick_; }
    void SetOnClick(const TNotifyEvent& e) { onClick_ = e; }

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    void Remove(TMenuItem* item);
    TMenuItem* ParentItem() const { return parent_; }
    TMenu* Menu() const;

    UINT Command() const { return command_; }
    virtual void Click();
    // Appends this item (with its submenu) to a system menu.
    void AppendTo(HMENU menu);
    static TMenuItem* FindByCommand(UINT command);

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;
    void GetChildren(std::vector<TComponent*>& children, TComponent* root) override;

private:
    void Changed();

    std::string caption_;
    bool checked_ = false, enabled_ = true, visible_ = true;
    int groupIndex_ = 0;
    TNotifyEvent onClick_;
    std::vector<TMenuItem*> items_;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr;  // set on the root item only
    UINT command_ = 0;
    friend class TMenu;
};

// A menu: a root item whose items are the menu's entries, and a system menu made from them
// on demand and remade after changes.
class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* owner);
    ~TMenu() override;

    TMenuItem* Items() const { return items_; }
    HMENU Handle();
    void GetChildren(std::vector<TComponent*>& children, TComponent* root) override;
    // The items changed: the system menu is made again.
    virtual void MenuChanged();

protected:
    virtual HMENU CreateMenuHandle() = 0;
    void DestroyMenuHandle();
    HMENU handle_ = nullptr;

private:
    TMenuItem* items_;
};

// The menu bar of a form.
class TMainMenu : public TMenu {
public:
    using TMenu::TMenu;
    const char* ClassName() const override { return "TMainMenu"; }
    void MenuChanged() override;

    // The form whose menu bar this is.
    TCustomForm* WindowHandle() const { return form_; }
    void SetWindowHandle(TCustomForm* form) { form_ = form; }
    // OLE menu merging: appends the items whose group index is one of groups to shared,
    // counting them in widths[group index] (widths has six entries, all reset to 0).
    void PopulateOle2Menu(HMENU shared, const std::vector<int>& groups, LONG widths[6]);
    // Shows a merged menu in the form (null: this menu again).
    void SetOle2MenuHandle(HMENU shared);

protected:
    HMENU CreateMenuHandle() override { return CreateMenu(); }

private:
    TCustomForm* form_ = nullptr;
};

// A context menu shown by controls whose PopupMenu it is.
class TPopupMenu : public TMenu {
public:
    explicit TPopupMenu(TComponent* owner);
    const char* ClassName() const override { return "TPopupMenu"; }
    void DefineProperties(TPropertyList& list) override;

    bool AutoPopup() const { return autoPopup_; }
    void SetAutoPopup(bool value) { autoPopup_ = value; }
    TComponent* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(TComponent* component) { popupComponent_ = component; }
    const TNotifyEvent& OnPopup() const { return onPopup_; }
    void SetOnPopup(const TNotifyEvent& e) { onPopup_ = e; }

    // Shows the menu at a screen position and runs the chosen item's Click.
    virtual void Popup(int x, int y);

protected:
    HMENU CreateMenuHandle() override { return CreatePopupMenu(); }
    void Notification(TComponent* component, TOperation operation) override;

private:
    bool autoPopup_ = true;
    TComponent* popupComponent_ = nullptr;
    TNotifyEvent onPopup_;
};
