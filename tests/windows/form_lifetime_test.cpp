// A window's lifetime: unloading inside its own handler, a load that fails, and
// the fresh instance that the next reference loads.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/errors.h"
#include "core/form.h"

namespace {

constexpr int kText = 951;
constexpr int kButton = 952;
constexpr wchar_t kCaption[] = L"Livstidsprov";

int g_loads = 0;
bool g_failLoad = false;
bool g_destroyed = false;
bool g_aliveAfterUnload = false;

class Probe : public gv::Form {
  public:
    Probe();
    ~Probe() override { g_destroyed = true; }

    void Button_Click() { UnloadAndLook(); }
    int field = 0;  // a window-level field: a fresh instance starts without it

  protected:
    void Form_Load() override {
        ++g_loads;
        if (g_failLoad) {
            gv::Raise(gv::err::InvalidCall);
        }
    }
    bool OnEnterIn(int) override {
        UnloadAndLook();
        return true;
    }

  private:
    void UnloadAndLook() {
        Unload();
        g_aliveAfterUnload = !g_destroyed;
    }
};

constexpr std::array kControls{
    gv::ControlSpec{gv::ControlKind::TextBox, kText, L"Text", L"", 75, 75, 2000, 315, 0},
    gv::ControlSpec{gv::ControlKind::Button, kButton, L"Knapp", L"Ok", 75, 450, 990, 315, 1}};
constexpr std::array kCommands{gv::CommandSpec{kButton, gv::Handler<&Probe::Button_Click>}};
constexpr gv::FormSpec kSpec{.caption = kCaption,
                             .clientWidth = 2200,
                             .clientHeight = 900,
                             .controls = kControls,
                             .commands = kCommands};

Probe::Probe() : Form(kSpec) {}

// Refuses the creation of windows of one class, with an error code, as the
// system would when it runs out of a resource.
const wchar_t* g_refusedClass = nullptr;
constexpr DWORD kRefusal = ERROR_NOT_ENOUGH_QUOTA;
LRESULT CALLBACK Refuse(int code, WPARAM wp, LPARAM lp) {
    wchar_t cls[32] = {};
    if (code == HCBT_CREATEWND && ::GetClassNameW(reinterpret_cast<HWND>(wp), cls, 32) &&
        ::lstrcmpiW(cls, g_refusedClass) == 0) {
        ::SetLastError(kRefusal);
        return 1;
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

void Reset() {
    g_loads = 0;
    g_failLoad = false;
    g_destroyed = false;
    g_aliveAfterUnload = false;
}

class FormLifetime : public testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        if (gv::IsLoaded<Probe>()) {
            gv::Default<Probe>().Unload();
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
};

}  // namespace

TEST_F(FormLifetime, UnloadInsideAHandlerFreesTheInstanceOnlyWhenTheHandlerReturns) {
    for (const bool byKey : {false, true}) {
        SCOPED_TRACE(byKey ? "Enter in the text box" : "a click");
        Reset();
        auto& form = gv::Default<Probe>();
        const HWND hwnd = form.Hwnd();
        if (byKey) {
            form.Show();
            form.SetFocusTo(kText);
            ASSERT_EQ(::GetFocus(), form.Control(kText));
            MSG msg{form.Control(kText), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
            EXPECT_TRUE(form.PreTranslate(msg));
        } else {
            ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED),
                           reinterpret_cast<LPARAM>(form.Control(kButton)));
        }
        EXPECT_TRUE(g_aliveAfterUnload) << "the instance was freed while its handler ran";
        EXPECT_TRUE(g_destroyed) << "the instance outlived its last handler";
        EXPECT_FALSE(gv::IsLoaded<Probe>());
        EXPECT_FALSE(::IsWindow(hwnd));
    }
}

TEST_F(FormLifetime, FailedLoadLeavesNoInstanceAndKeepsTheReason) {
    const struct {
        const char* what;
        const wchar_t* refusedClass;  // null: Form_Load raises error 5
        int number;
        const char* names;
    } cases[] = {{"Form_Load raises", nullptr, gv::err::InvalidCall, ""},
                 {"window refused", L"GrindvaktForm", static_cast<int>(kRefusal), ""},
                 {"control refused", L"Edit", static_cast<int>(kRefusal), "(Text)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reset();
        g_failLoad = c.refusedClass == nullptr;
        g_refusedClass = c.refusedClass;
        HHOOK hook = c.refusedClass
                         ? ::SetWindowsHookExW(WH_CBT, &Refuse, nullptr, ::GetCurrentThreadId())
                         : nullptr;
        ASSERT_EQ(hook != nullptr, c.refusedClass != nullptr);
        try {
            gv::Default<Probe>();
            ADD_FAILURE() << "the load did not fail";
        } catch (const gv::RuntimeError& e) {
            EXPECT_EQ(e.Number(), c.number) << e.Text();
            EXPECT_NE(e.Text().find(c.names), std::string::npos) << e.Text();
        }
        if (hook) {
            ::UnhookWindowsHookEx(hook);
        }
        EXPECT_FALSE(gv::IsLoaded<Probe>());
        EXPECT_TRUE(g_destroyed) << "a half-built instance was kept";
        EXPECT_EQ(::FindWindowW(L"GrindvaktForm", kCaption), nullptr) << "its window was kept";
        MSG msg;
        EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
            << "a window that never loaded ended the run";
    }
}

TEST_F(FormLifetime, DefaultAfterUnloadLoadsAFreshInstance) {
    auto& first = gv::Default<Probe>();
    first.field = 1;
    const HWND old = first.Hwnd();
    first.Unload();
    EXPECT_TRUE(g_destroyed) << "an unload outside any handler frees the instance at once";
    const auto& second = gv::Default<Probe>();
    EXPECT_EQ(g_loads, 2) << "Form_Load runs again";
    EXPECT_EQ(second.field, 0);
    EXPECT_TRUE(::IsWindow(second.Hwnd()));
    EXPECT_FALSE(::IsWindow(old));
}
