#include "framework/Menus.h"

#include <algorithm>
#include <map>

#include "framework/Application.h"
#include "framework/Forms.h"

namespace {

// Command numbers of all menu items of the program; 0 is "no command".
std::map<UINT, TMenuItem*>& Commands() {
    static std::map<UINT, TMenuItem*> commands;
    return commands;
}

UINT NewCommand(TMenuItem* item) {
    static UINT next = 0;
    auto& commands = Commands();
    do {
        next = next >= 0xEFFF ? 1 : next + 1;
    } while (commands.count(next));
    commands[next] = item;
    return next;
}

}  // namespace

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), command_(NewCommand(this)) {}

TMenuItem::~TMenuItem() {
    while (!items_.empty()) delete items_.back();
    if (parent_) parent_->Remove(this);
    Commands().erase(command_);
}

void TMenuItem::DefineProperties(TPropertyList& list) {
    TComponent::DefineProperties(list);
    list.String("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption);
    list.Boolean("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked).WithDefault(0);
    list.Boolean("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled).WithDefault(1);
    list.Integer("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex).WithDefault(0);
    list.Boolean("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible).WithDefault(1);
    list.Event("OnClick", &TMenuItem::OnClick, &TMenuItem::SetOnClick);
}

void TMenuItem::SetCaption(const std::string& value) {
    caption_ = value;
    Changed();
}

void TMenuItem::SetChecked(bool value) {
    checked_ = value;
    Changed();
}

void TMenuItem::SetEnabled(bool value) {
    enabled_ = value;
    Changed();
}

void TMenuItem::SetVisible(bool value) {
    visible_ = value;
    Changed();
}

void TMenuItem::SetGroupIndex(int value) {
    if (value < 0 || value > 255) throw Exception("Menu group index out of range");
    groupIndex_ = value;
    Changed();
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (item->parent_) throw Exception("Menu item is already in a menu");
    if (index < 0 || index > Count()) throw Exception("Menu index out of range");
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    Changed();
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
    Changed();
}

TMenu* TMenuItem::Menu() const {
    const TMenuItem* root = this;
    while (root->parent_) root = root->parent_;
    return root->menu_;
}

void TMenuItem::Click() {
    if (onClick_) onClick_(this);
}

void TMenuItem::AppendTo(HMENU menu) {
    if (!visible_) return;
    UINT flags = MF_STRING | (checked_ ? MF_CHECKED : 0) | (enabled_ ? 0 : MF_GRAYED);
    if (caption_ == "-") {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    } else if (!items_.empty()) {
        HMENU sub = CreatePopupMenu();
        for (TMenuItem* item : items_) item->AppendTo(sub);
        AppendMenuA(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), caption_.c_str());
    } else {
        AppendMenuA(menu, flags, command_, caption_.c_str());
    }
}

TMenuItem* TMenuItem::FindByCommand(UINT command) {
    auto it = Commands().find(command);
    return it == Commands().end() ? nullptr : it->second;
}

TComponent* TMenuItem::GetParentComponent() const {
    if (parent_ && parent_->menu_) return parent_->menu_;
    return parent_;
}

void TMenuItem::SetParentComponent(TComponent* parent) {
    if (auto menu = dynamic_cast<TMenu*>(parent)) menu->Items()->Add(this);
    else if (auto item = dynamic_cast<TMenuItem*>(parent)) item->Add(this);
}

void TMenuItem::GetChildren(std::vector<TComponent*>& children, TComponent* root) {
    for (TMenuItem* item : items_)
        if (item->Owner() == root) children.push_back(item);
}

void TMenuItem::Changed() {
    if (TMenu* menu = Menu()) menu->MenuChanged();
}

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) {
    items_->menu_ = this;
}

TMenu::~TMenu() {
    DestroyMenuHandle();
    items_->menu_ = nullptr;
    delete items_;
}

HMENU TMenu::Handle() {
    if (!handle_) {
        handle_ = CreateMenuHandle();
        for (int i = 0; i < items_->Count(); ++i) items_->Items(i)->AppendTo(handle_);
    }
    return handle_;
}

void TMenu::DestroyMenuHandle() {
    if (handle_) DestroyMenu(handle_);
    handle_ = nullptr;
}

void TMenu::MenuChanged() { DestroyMenuHandle(); }

void TMenu::GetChildren(std::vector<TComponent*>& children, TComponent* root) {
    items_->GetChildren(children, root);
}

void TMainMenu::MenuChanged() {
    HMENU old = handle_;
    handle_ = nullptr;
    if (form_ && form_->Menu() == this && form_->HandleAllocated()) form_->SetMenuHandle(nullptr);
    if (old) DestroyMenu(old);
}

void TMainMenu::PopulateOle2Menu(HMENU shared, const std::vector<int>& groups, LONG widths[6]) {
    for (int i = 0; i < 6; ++i) widths[i] = 0;
    for (int i = 0; i < Items()->Count(); ++i) {
        TMenuItem* item = Items()->Items(i);
        for (int group : groups) {
            if (item->GroupIndex() != group) continue;
            item->AppendTo(shared);
            if (group >= 0 && group < 6) ++widths[group];
        }
    }
}

void TMainMenu::SetOle2MenuHandle(HMENU shared) {
    if (form_) form_->SetMenuHandle(shared);
}

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}

void TPopupMenu::DefineProperties(TPropertyList& list) {
    TMenu::DefineProperties(list);
    list.Boolean("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup).WithDefault(1);
    list.Event("OnPopup", &TPopupMenu::OnPopup, &TPopupMenu::SetOnPopup);
}

void TPopupMenu::Popup(int x, int y) {
    if (onPopup_) onPopup_(this);
    DestroyMenuHandle();  // made afresh: items may have changed in OnPopup
    HWND owner = nullptr;
    if (auto control = dynamic_cast<TControl*>(popupComponent_))
        if (TCustomForm* form = GetParentForm(control)) owner = form->Handle();
    if (!owner && Application()->MainForm()) owner = Application()->MainForm()->Handle();
    if (!owner) owner = GetActiveWindow();
    UINT command = static_cast<UINT>(TrackPopupMenu(Handle(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                                    x, y, 0, owner, nullptr));
    if (command == 0) return;
    if (TMenuItem* item = TMenuItem::FindByCommand(command)) item->Click();
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
    TMenu::Notification(component, operation);
    if (operation == TOperation::opRemove && component == popupComponent_) popupComponent_ = nullptr;
}
