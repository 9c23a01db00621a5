// The library's URL moniker: the URL filter, forwarding to the system moniker, and the
// callback wrapper that stands in the bind context for the player's callback.
#include "ContentTestSupport.h"

#include "FlashPlayerControl/content/URLMonikerHooks.h"
#include "FlashPlayerControl/loader/LibraryState.h"

namespace {

class URLMoniker : public ContentTest {};

std::wstring DisplayName(IMoniker* moniker) {
    TComPtr<IBindCtx> bc;
    CreateBindCtx(0, bc.Put());
    LPOLESTR name = nullptr;
    if (moniker->GetDisplayName(bc.Get(), nullptr, &name) != S_OK || !name) return L"";
    std::wstring text = name;
    CoTaskMemFree(name);
    return text;
}

}  // namespace

TEST_F(URLMoniker, IsTheLibrarysOwnAndForwardsToTheSystemMonikerForTheSameURL) {
    TComPtr<IMoniker> moniker;
    ASSERT_EQ(MyCreateURLMoniker(nullptr, L"http://example.invalid/a/movie.swf", moniker.Put()), S_OK);
    ASSERT_TRUE(moniker);
    EXPECT_EQ(static_cast<TMyMoniker*>(moniker.Get())->URL(), L"http://example.invalid/a/movie.swf");
    TComPtr<IMoniker> system;
    ASSERT_EQ(CreateURLMonikerProc(nullptr, L"http://example.invalid/a/movie.swf", system.Put()), S_OK);
    EXPECT_EQ(DisplayName(moniker.Get()), DisplayName(system.Get()));
    DWORD kind = 0;
    EXPECT_EQ(moniker->IsSystemMoniker(&kind), system->IsSystemMoniker(&kind));

    auto binding = moniker.As<IBinding>();
    ASSERT_TRUE(binding);
    LONG priority = 0;
    EXPECT_EQ(binding->Abort(), E_FAIL);
    EXPECT_EQ(binding->Suspend(), E_FAIL);
    EXPECT_EQ(binding->Resume(), E_FAIL);
    EXPECT_EQ(binding->SetPriority(1), E_FAIL);
    EXPECT_EQ(binding->GetPriority(&priority), E_FAIL);
    EXPECT_EQ(binding->GetBindResult(nullptr, nullptr, nullptr, nullptr), E_FAIL);
    EXPECT_FALSE(moniker.As<IStream>());
}

TEST_F(URLMoniker, RelativeURLTextIsKeptAsGiven) {
    TComPtr<IMoniker> moniker;
    ASSERT_EQ(MyCreateURLMoniker(nullptr, L"images/a.png", moniker.Put()), S_OK);
    EXPECT_EQ(static_cast<TMyMoniker*>(moniker.Get())->URL(), L"images/a.png");
}

TEST_F(URLMoniker, FilterCanRewriteOrRefuseTheURL) {
    RegisterLibraryURLFilterHandler(TURLFilterHandler([](void*, std::wstring& url, bool& go) {
        go = url.find(L"blocked") == std::wstring::npos;
        if (url == L"http://old.invalid/x.swf") url = L"http://new.invalid/x.swf";
    }, nullptr));
    TComPtr<IMoniker> moniker;
    ASSERT_EQ(MyCreateURLMoniker(nullptr, L"http://old.invalid/x.swf", moniker.Put()), S_OK);
    EXPECT_EQ(static_cast<TMyMoniker*>(moniker.Get())->URL(), L"http://new.invalid/x.swf");
    EXPECT_EQ(DisplayName(moniker.Get()), L"http://new.invalid/x.swf");

    IMoniker* refused = reinterpret_cast<IMoniker*>(uintptr_t{1});
    EXPECT_EQ(MyCreateURLMoniker(nullptr, L"http://blocked.invalid/", &refused), E_FAIL);
    EXPECT_EQ(refused, nullptr);
}

TEST_F(URLMoniker, CallbackWrapperForwardsNotificationsAndForeignInterfaces) {
    TRecordingCallback player;
    TComPtr<TMyBindStatusCallback> wrapper(new TMyBindStatusCallback);
    EXPECT_EQ(wrapper->OnStartBinding(0, nullptr), E_NOTIMPL);
    EXPECT_FALSE(TComPtr<IBindStatusCallback>(wrapper.Get()).As<IHttpNegotiate>());

    wrapper->SetInner(&player);
    EXPECT_EQ(wrapper->OnStartBinding(0, nullptr), S_OK);
    EXPECT_EQ(wrapper->OnStopBinding(S_OK, nullptr), S_OK);
    EXPECT_EQ(player.Events, (std::vector<std::string>{"start", "stop 0"}));
    auto negotiate = TComPtr<IBindStatusCallback>(wrapper.Get()).As<IHttpNegotiate>();
    ASSERT_TRUE(negotiate);
    EXPECT_EQ(negotiate.Get(), static_cast<IHttpNegotiate*>(&player));
}
