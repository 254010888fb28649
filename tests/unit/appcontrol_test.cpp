// SPDX-License-Identifier: Apache-2.0
// The application-control service (app_control.h) and the AppControl wrapper,
// up to requests that reach a started target app and its replies.
#include <gtest/gtest.h>

#include <Ecore.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AppControl.h"
#include "MainLoop.h"
#include "TestDevice.h"
#include "devkit.h"

namespace {
int gCreateFailure = 0;        // when set, app_control_create fails with it
int gSetOperationFailure = 0;  // when set, app_control_set_operation fails with it
int gLaunchModeCalls = 0;
}  // namespace

// Interposed on the platform library: fault injection and call counting.
extern "C" int app_control_create(app_control_h* h) {
    static auto real = reinterpret_cast<int (*)(app_control_h*)>(dlsym(RTLD_NEXT, __func__));
    return gCreateFailure ? gCreateFailure : real(h);
}

extern "C" int app_control_set_operation(app_control_h h, const char* operation) {
    static auto real =
        reinterpret_cast<int (*)(app_control_h, const char*)>(dlsym(RTLD_NEXT, __func__));
    return gSetOperationFailure ? gSetOperationFailure : real(h, operation);
}

extern "C" int app_control_set_launch_mode(app_control_h h, app_control_launch_mode_e mode) {
    static auto real = reinterpret_cast<int (*)(app_control_h, app_control_launch_mode_e)>(
        dlsym(RTLD_NEXT, __func__));
    ++gLaunchModeCalls;
    return real(h, mode);
}

namespace {

using Lines = std::vector<std::string>;

const char kMissing[] = "org.example.missing";
const char kEcho[] = "org.example.echo";

Lines captured(const vt::LogCapture& log, const char* file) {
    Lines out;
    for (const std::string& l : log.lines())
        if (l.find(file) != std::string::npos) out.push_back(vt::logBody(l));
    return out;
}

std::string take(char* s) {
    std::string out = s ? s : "(null)";
    free(s);
    return out;
}

TEST(AppControlService, ErrorCodes) {
    const char* arr[] = {"x", "y"};
    const char* withNull[] = {"x", nullptr};
    char* out = nullptr;
    char** outArr = nullptr;
    int n = 0;
    bool flag = false;
    app_control_h copy = nullptr;
    const int INVALID = -22, REJECTED = -129, NOT_FOUND = -126, DATA_TYPE = -17825758;
    // clang-format off
#define CASE(call, code) {#call, [&](app_control_h h) { return (void)h, (call); }, code}
    // clang-format on
    struct Case {
        const char* name;
        std::function<int(app_control_h)> call;
        int code;
    } cases[] = {
        CASE(app_control_add_extra_data(nullptr, "k", "v"), INVALID),
        CASE(app_control_add_extra_data(h, nullptr, "v"), INVALID),
        CASE(app_control_add_extra_data(h, "", "v"), INVALID),
        CASE(app_control_add_extra_data(h, "k", nullptr), INVALID),
        CASE(app_control_add_extra_data(h, "__AUL_X", "v"), REJECTED),
        CASE(app_control_add_extra_data(h, "__APP_SVC_URI__", "v"), REJECTED),
        CASE(app_control_add_extra_data_array(h, "k", nullptr, 2), INVALID),
        CASE(app_control_add_extra_data_array(h, "k", arr, 0), INVALID),
        CASE(app_control_add_extra_data_array(h, "k", withNull, 2), INVALID),
        CASE(app_control_add_extra_data_array(h, "__AUL_A", arr, 2), REJECTED),
        CASE(app_control_get_extra_data(h, "k", &out), NOT_FOUND),
        CASE(app_control_get_extra_data(h, "a", &out), DATA_TYPE),
        CASE(app_control_get_extra_data(h, "__AUL_X", &out), REJECTED),
        CASE(app_control_get_extra_data_array(h, "s", &outArr, &n), DATA_TYPE),
        CASE(app_control_get_extra_data_array(h, "k", &outArr, &n), NOT_FOUND),
        CASE(app_control_is_extra_data_array(h, "k", &flag), NOT_FOUND),
        CASE(app_control_remove_extra_data(h, "k"), NOT_FOUND),
        CASE(app_control_remove_extra_data(h, "__APP_SVC_X"), REJECTED),
        CASE(app_control_clone(&copy, nullptr), INVALID),
        CASE(app_control_get_caller(h, &out), INVALID),  // made here: no caller
        CASE(app_control_reply_to_launch_request(h, h, APP_CONTROL_RESULT_SUCCEEDED), INVALID),
        CASE(app_control_send_launch_request(nullptr, nullptr, nullptr), INVALID),
        CASE(app_control_send_terminate_request(h), INVALID),  // never sent
        CASE(app_control_get_uri(h, nullptr), INVALID),
        CASE(app_control_set_uri(nullptr, "u"), INVALID),
        CASE(app_control_destroy(nullptr), INVALID),
        CASE(app_control_foreach_extra_data(h, nullptr, nullptr), INVALID),
    };
#undef CASE
    for (const Case& c : cases) {
        app_control_h h = nullptr;
        ASSERT_EQ(app_control_create(&h), 0);
        app_control_add_extra_data(h, "s", "v");
        app_control_add_extra_data_array(h, "a", arr, 2);
        EXPECT_EQ(c.call(h), c.code) << c.name;
        EXPECT_TRUE(!out && !outArr && !copy) << c.name;
        app_control_destroy(h);
    }
}

// The wrapper and the service share one handle: what one side writes, the other reads.
TEST(AppControlService, FieldsAndExtraDataThroughEitherSide) {
    app_control_h h = nullptr;
    ASSERT_EQ(app_control_create(&h), 0);
    AppControl r(h, true);
    struct Field {
        int (*set)(app_control_h, const char*);
        int (*get)(app_control_h, char**);
        int (AppControl::*write)(const char*);
        std::string (AppControl::*read)();
        int (AppControl::*readOut)(char**);
    } fields[] = {
#define FIELD(f, F)                                                                      \
    {app_control_set_##f, app_control_get_##f, &AppControl::set##F, &AppControl::get##F, \
     &AppControl::get##F}
        FIELD(operation, Operation), FIELD(uri, Uri),      FIELD(mime, Mime),
        FIELD(category, Category),   FIELD(app_id, AppId),
#undef FIELD
    };
    for (const Field& f : fields) {
        char* s = reinterpret_cast<char*>(1);
        EXPECT_EQ(f.get(h, &s), 0);
        EXPECT_EQ(s, nullptr);  // not set
        EXPECT_EQ((r.*f.read)(), "");
        EXPECT_EQ((r.*f.write)("value"), 0);
        EXPECT_EQ(f.get(h, &s), 0);
        EXPECT_EQ(take(s), "value");
        EXPECT_EQ(f.set(h, "other"), 0);
        EXPECT_EQ((r.*f.read)(), "other");
        EXPECT_EQ((r.*f.readOut)(&s), 0);
        EXPECT_EQ(take(s), "other");
        EXPECT_EQ(f.set(h, nullptr), 0);
        EXPECT_EQ(f.get(h, &s), 0);
        EXPECT_EQ(s, nullptr);
    }
    EXPECT_EQ(r.getCallerAppId(), "");
    char* caller = nullptr;  // none was sent
    EXPECT_EQ(r.getCallerAppId(&caller), APP_CONTROL_ERROR_INVALID_PARAMETER);
    // A borrowing wrapper leaves the handle alive (the sanitizer build catches a use after
    // free below, and a leak or double destroy by `r`). Fields are not extra data; a key
    // added again replaces its value.
    AppControl(h, false).setUri("u");
    EXPECT_EQ(r.getUri(), "u");
    const char* arr[] = {"x", "y"};
    EXPECT_EQ(r.addExtraData("k", "1"), 0);
    EXPECT_EQ(app_control_add_extra_data_array(h, "a", arr, 2), 0);
    EXPECT_EQ(app_control_add_extra_data(h, "k", "2"), 0);
    Lines keys;
    auto collect = [](app_control_h, const char* key, void* d) {
        static_cast<Lines*>(d)->push_back(key);
        return true;
    };
    EXPECT_EQ(r.getForeachExtraData(collect, &keys), 0);
    EXPECT_EQ(keys, (Lines{"a", "k"}));
    EXPECT_EQ(r.getExtraData("k"), "2");
    EXPECT_EQ(r.getExtraData("none"), "");
    char** values = nullptr;
    int n = 0;
    EXPECT_EQ(app_control_get_extra_data_array(h, "a", &values, &n), 0);
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(values[1], "y");
    // The caller owns the array and every string in it.
    for (int i = 0; i < n; ++i) free(values[i]);
    free(values);
    EXPECT_TRUE(r.isExtraDataArray("a"));
    EXPECT_FALSE(r.isExtraDataArray("k"));
    EXPECT_EQ(r.removeExtraData("a"), 0);
    EXPECT_EQ(app_control_remove_extra_data(h, "a"), APP_CONTROL_ERROR_KEY_NOT_FOUND);
    EXPECT_EQ(r.getLaunchMode(), APP_CONTROL_LAUNCH_MODE_SINGLE);
    EXPECT_FALSE(r.isReplyReqested());
}

// A wrapper without a handle says why, and answers queries without harm.
TEST(AppControlWrapper, WithoutAHandle) {
    gCreateFailure = APP_CONTROL_ERROR_OUT_OF_MEMORY;
    AppControl failed;
    gCreateFailure = 0;
    EXPECT_FALSE(failed.isValid());
    EXPECT_STREQ(failed.getErrorMessage(), "Method app_control_create() failed. Ret code = -12");
    EXPECT_EQ(failed.getUri(), "");
    EXPECT_EQ(failed.clone(), nullptr);
    AppControl adoptedNull(nullptr, true);
    EXPECT_FALSE(adoptedNull.isValid());
    vt::LogCapture log;
    EXPECT_EQ(adoptedNull.getLaunchMode(), APP_CONTROL_LAUNCH_MODE_SINGLE);
    EXPECT_EQ(captured(log, "AppControl.cpp: "),
              Lines{vt::logBody(vt::logLine('E', "", "src/AppControl.cpp", "getLaunchMode",
                                            "Failed to get launch mode. err(Invalid parameter)"))});
    EXPECT_TRUE(AppControl().isValid());
}

// Extra data goes into a bundle and back; bytes have no place in a request.
TEST(AppControlWrapper, ExtraDataThroughABundle) {
    AppControl r;
    const char* two[] = {"one", "two"};
    r.addExtraData("s", "text");
    r.addExtraDataArray("a", two, 2);
    r.setUri("not extra data");
    Bundle b(r.getExtraDataAsBundle(), true);
    EXPECT_EQ(b.getCount(), 2);
    EXPECT_EQ(b.getType("s"), BUNDLE_TYPE_STR);
    int n = 0;
    const char** got = b.getStringArray("a", n);
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(got[1], "two");
    EXPECT_FALSE(AppControl::add_to_bundle(nullptr, "s", b.getBundle()));
    // No target bundle stops the walk; a key the request lacks adds nothing.
    EXPECT_EQ(0, r.getForeachExtraData(AppControl::add_to_bundle, nullptr));
    app_control_h plain = nullptr;
    ASSERT_EQ(0, app_control_create(&plain));
    EXPECT_FALSE(AppControl::add_to_bundle(plain, "absent", b.getBundle()));
    app_control_destroy(plain);
    EXPECT_EQ(b.getCount(), 2);

    b.addBytes("bytes", "\x01\x02", 2);
    AppControl back;
    vt::LogCapture log;
    back.copyExtaDataFromBundle(b.getBundle());
    EXPECT_EQ(b.getCount(), 3);  // the bundle stays the caller's
    EXPECT_EQ(back.getExtraData("s"), "text");
    EXPECT_TRUE(back.isExtraDataArray("a"));
    EXPECT_EQ(back.getExtraData("bytes"), "");
    // Only the walk's array dump: the bytes are skipped without a word.
    Lines lines = captured(log, "Bundle.cpp: ");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, 2), "I ");
    EXPECT_NE(lines[0].find("Found string Array. Key(a) number of strings(2)"), std::string::npos);
}

// A clone is deep and owns its copy: either one may change or go first.
TEST(AppControlWrapper, CloneIsIndependent) {
    for (bool dropOriginal : {true, false}) {
        std::unique_ptr<AppControl> original(new AppControl());
        original->setUri("u");
        original->addExtraData("k", "1");
        std::unique_ptr<AppControl> copy(original->clone());
        ASSERT_NE(copy, nullptr);
        auto& gone = dropOriginal ? original : copy;
        auto& kept = dropOriginal ? copy : original;
        gone->setUri("changed");
        gone->addExtraData("k", "2");
        gone.reset();
        EXPECT_EQ(kept->setMime("m"), 0);
        EXPECT_EQ(kept->getUri() + kept->getMime() + kept->getExtraData("k"), "um1");
    }
}

struct ReplySeen {
    bool called = false, hasReply = false;
    app_control_result_e result = APP_CONTROL_RESULT_APP_STARTED;
    std::string echo, replier, requestUri;
};

void onReply(app_control_h request, app_control_h reply, app_control_result_e result, void* d) {
    auto* seen = static_cast<ReplySeen*>(d);
    seen->called = true;
    seen->result = result;
    seen->hasReply = reply != nullptr;
    char *uri = nullptr, *echo = nullptr, *replier = nullptr;
    app_control_get_uri(request, &uri);
    seen->requestUri = take(uri);
    if (!reply) return;
    app_control_get_extra_data(reply, "echo", &echo);
    seen->echo = take(echo);
    app_control_get_caller(reply, &replier);
    seen->replier = take(replier);
}

class AppControlLaunch : public testing::Test {
protected:
    void SetUp() override {
        // Started once for the whole program (see timer_test.cpp).
        static int once = (setenv("ECORE_NO_SYSTEM_MODULES", "1", 1), ecore_init());
        ASSERT_GT(once, 0);
        vt::PackageSpec echo, plain;  // plain: no launch privilege, and no program
        echo.pkgId = kEcho;
        echo.apps.push_back({kEcho, "ui-application", "echo-app", "Echo", false, ""});
        echo.copies["bin/echo-app"] = VORNIX_ECHO_APP;
        plain.pkgId = "org.example.plain";
        plain.apps.push_back({plain.pkgId, "ui-application", "plain", "Plain", false, ""});
        for (const vt::PackageSpec& p : {vt::hostPackage(), echo, plain}) mDevice.install(p);
        mDevice.activate("org.example.host");
    }
    void TearDown() override {
        // Nothing of this device may outlive the test.
        int pid = device::runningPid(mDevice.path(), kEcho);
        if (pid > 0) kill(pid, SIGKILL);
        unsetenv("VORNIX_DEVICE");
        unsetenv("VORNIX_APP_ID");
    }
    std::string journal() {
        std::string j = mDevice.journal();
        unlink(device::journalFile(mDevice.path()).c_str());
        return j;
    }
    std::string received(const std::string& name = "received.txt") {
        std::string path = mDevice.packageRoot(kEcho) + "data/" + name;
        vt::runUntil([&] { return vt::exists(path); }, 20);
        std::string text = vt::readFile(path);
        unlink(path.c_str());
        return text;
    }
    bool echoEnded() {
        return vt::runUntil([&] { return device::runningPid(mDevice.path(), kEcho) == 0; }, 20);
    }

    vt::TestDevice mDevice;
};

// Every request made is journaled with its result, refused ones too.
TEST_F(AppControlLaunch, JournalLinesAndRefusedLaunches) {
    auto wrapped = [](const char* target, bool reply, bool group) {
        return [=] {
            AppControl r;
            if (target) r.setAppId(target);
            if (!group) r.setGroupLaunch(false);
            return r.sendLaunchRequest(reply ? onReply : nullptr, nullptr);
        };
    };
    auto plain = [](const char* target, const char* op, const char* mode, const char* reply,
                    const char* caller = "org.example.host") {
        return std::string("launch caller=") + caller + " target=" + target + " operation=" + op +
               " uri= mime= category= launch_mode=" + mode + " reply=" + reply + " extra={}";
    };
    struct Case {
        const char* name;
        std::function<int()> send;
        int launchModeCalls;
        std::string line;
    } cases[] = {
        {"no callback", wrapped(kMissing, false, true), 0, plain(kMissing, "", "single", "no")},
        {"callback on a fresh wrapper", wrapped(kMissing, true, true), 1,
         plain(kMissing, "", "group", "yes")},
        {"callback without group launch", wrapped(kMissing, true, false), 0,
         plain(kMissing, "", "single", "yes")},
        {"no app id", wrapped(nullptr, false, true), 0, plain("", "", "single", "no")},
        {"one-off without operation",
         [] { return AppControl::launchApplication(kMissing, nullptr, nullptr, nullptr); }, 0,
         plain(kMissing, "", "single", "no")},
        {"one-off with callback",
         [] { return AppControl::launchApplication(kMissing, "op", onReply, nullptr); }, 1,
         plain(kMissing, "op", "group", "yes")},
        {"values escaped",
         [] {
             const char* pair[] = {"x y", "z"};
             AppControl r;
             r.setAppId(kMissing);
             r.setUri("a b\nlaunch caller=x");
             r.setCategory("say \"hi\"\\");
             r.addExtraData("k", "v,1");
             r.addExtraData("empty", "");
             r.addExtraDataArray("list", pair, 2);
             return r.sendLaunchRequest(nullptr, nullptr);
         },
         0,
         "launch caller=org.example.host target=org.example.missing operation= "
         "uri=\"a b\\nlaunch caller=x\" mime= category=\"say \\\"hi\\\"\\\\\" launch_mode=single "
         "reply=no extra={k=\"v,1\", empty=\"\", list=[\"x y\", z]}"},
    };
    for (const Case& c : cases) {
        gLaunchModeCalls = 0;
        EXPECT_EQ(c.send(), APP_CONTROL_ERROR_APP_NOT_FOUND) << c.name;
        EXPECT_EQ(gLaunchModeCalls, c.launchModeCalls) << c.name;
        EXPECT_EQ(journal(), c.line + " result=-17825759\n") << c.name;
    }
    // A request that cannot be made says why, and is not journaled.
    const struct {
        int* failure;  // set to out of memory while the request is made
        const char* operation;
        int ret;
        const char* needle;
        const char* message;
    } refused[] = {
        // The app id cannot be set.
        {&gCreateFailure, nullptr, APP_CONTROL_ERROR_INVALID_PARAMETER, "Failed to set app id",
         "Failed to set app id(Invalid parameter)"},
        {&gSetOperationFailure, "op", APP_CONTROL_ERROR_OUT_OF_MEMORY, "Failed to set operation id",
         "Failed to set operation id(Out of memory)"},
    };
    for (const auto& c : refused) {
        vt::LogCapture log;
        *c.failure = APP_CONTROL_ERROR_OUT_OF_MEMORY;
        int ret = AppControl::launchApplication(kEcho, c.operation, nullptr, nullptr);
        *c.failure = 0;
        EXPECT_EQ(ret, c.ret) << c.needle;
        EXPECT_EQ(captured(log, "AppControl.cpp: "),
                  Lines{vt::logBody(
                      vt::logLine('E', "", "src/AppControl.cpp", "launchApplication", c.message))});
        EXPECT_EQ(journal(), "") << c.needle;
    }
    // The caller must be an installed app with the launch privilege.
    for (const char* caller : {"org.example.plain", "org.example.nobody", ""}) {
        mDevice.activate(caller);
        EXPECT_EQ(AppControl::launchApplication(kEcho, nullptr, nullptr, nullptr),
                  APP_CONTROL_ERROR_PERMISSION_DENIED)
            << caller;
        EXPECT_EQ(journal(), plain(kEcho, "", "single", "no", caller) + " result=-13\n");
    }
    mDevice.activate("org.example.host");
    EXPECT_EQ(AppControl::launchApplication("org.example.plain", nullptr, nullptr, nullptr),
              APP_CONTROL_ERROR_LAUNCH_FAILED);  // installed, but it has no program
}

// Every field reaches the target, and every way it answers reaches the callback.
TEST_F(AppControlLaunch, RequestsArriveAndRepliesReachTheCallback) {
    struct Case {
        std::string how;
        app_control_result_e result;
        bool hasReply;
    } cases[] = {{"", APP_CONTROL_RESULT_SUCCEEDED, true},
                 {"cancel", APP_CONTROL_RESULT_CANCELED, true},
                 {"later", APP_CONTROL_RESULT_SUCCEEDED, true},  // from a copy of the request
                 {"none", APP_CONTROL_RESULT_FAILED, false}};    // ended without answering
    for (const Case& c : cases) {
        ReplySeen seen;
        {
            AppControl r;
            const char* two[] = {"one", "two"};
            r.setAppId(kEcho);
            r.setOperation(APP_CONTROL_OPERATION_VIEW);
            r.setUri("file:///tmp/a b.txt");
            r.setMime("text/plain");
            r.setCategory("http://tizen.org/category/test");
            r.addExtraData("name", "value");
            r.addExtraDataArray("list", two, 2);
            if (!c.how.empty()) r.addExtraData("reply", c.how.c_str());
            ASSERT_EQ(r.sendLaunchRequest(onReply, &seen), 0) << c.how;
        }  // the request may go before its answer comes
        ASSERT_TRUE(vt::runUntil([&] { return seen.called; }, 20)) << c.how;
        EXPECT_EQ(seen.result, c.result) << c.how;
        EXPECT_EQ(seen.hasReply, c.hasReply) << c.how;
        EXPECT_EQ(seen.requestUri, "file:///tmp/a b.txt") << c.how;
        EXPECT_EQ(seen.echo, c.hasReply ? APP_CONTROL_OPERATION_VIEW : "") << c.how;
        EXPECT_EQ(seen.replier, c.hasReply ? kEcho : "") << c.how;
        EXPECT_EQ(
            received(),
            "app_id=org.example.echo\noperation=http://tizen.org/appcontrol/operation/view\n"
            "uri=file:///tmp/a b.txt\nmime=text/plain\ncategory=http://tizen.org/category/test\n"
            "caller=org.example.host\nlaunch_mode=group\nreply=yes\n"
            "extra name=value\nextra list=[one,two]\n" +
                (c.how.empty() ? "" : "extra reply=" + c.how + "\n"));
        EXPECT_EQ(
            journal(),
            "launch caller=org.example.host target=org.example.echo "
            "operation=http://tizen.org/appcontrol/operation/view uri=\"file:///tmp/a b.txt\" "
            "mime=text/plain category=http://tizen.org/category/test launch_mode=group "
            "reply=yes extra={name=value, list=[one, two]" +
                (c.how.empty() ? "" : ", reply=" + c.how) + "} result=0\n");
        EXPECT_TRUE(echoEnded()) << c.how;
    }
}

// Later requests reach the app that runs already, over its control FIFO; large ones
// travel through files, which are gone once read.
TEST_F(AppControlLaunch, RunningTargetGetsLaterRequests) {
    AppControl first;
    first.setAppId(kEcho);
    first.addExtraData("stay", "yes");
    first.addExtraData("big", std::string(70000, 'x').c_str());  // too big for the environment
    Lines matched;
    EXPECT_EQ(first.getForeachAppMatched(
                  [](app_control_h, const char* id, void* d) {
                      static_cast<Lines*>(d)->push_back(id);
                      return true;
                  },
                  &matched),
              0);
    EXPECT_EQ(matched, Lines{kEcho});
    ASSERT_EQ(first.sendLaunchRequest(nullptr, nullptr), 0);
    EXPECT_NE(received().find("extra big=<70000 chars>\n"), std::string::npos);
    ASSERT_TRUE(vt::runUntil([&] { return device::runningPid(mDevice.path(), kEcho) > 0; }, 20));

    for (size_t size : {10, 6000}) {  // one fits a control line, one needs a file
        ReplySeen seen;
        AppControl next;
        next.setAppId(kEcho);
        next.setOperation("again");
        next.addExtraData("out", "next.txt");
        next.addExtraData("big", std::string(size, 'y').c_str());
        ASSERT_EQ(next.sendLaunchRequest(onReply, &seen), 0);
        ASSERT_TRUE(vt::runUntil([&] { return seen.called; }, 20)) << size;
        EXPECT_EQ(seen.result, APP_CONTROL_RESULT_SUCCEEDED);
        EXPECT_EQ(seen.echo, "again");
        std::string got = received("next.txt");
        EXPECT_NE(got.find("caller=org.example.host\n"), std::string::npos);
        EXPECT_NE(got.find("extra big=" + (size > 100 ? "<6000 chars>" : std::string(size, 'y'))),
                  std::string::npos);
    }
    for (const auto& e : std::filesystem::directory_iterator(device::runDir(mDevice.path())))
        EXPECT_NE(e.path().filename().string().rfind("request-", 0), 0u) << e.path();
    journal();
    EXPECT_EQ(first.sendTerminateRequest(), 0);
    EXPECT_TRUE(echoEnded());
    EXPECT_EQ(journal(), "terminate caller=org.example.host target=org.example.echo result=0\n");
}

// An app this process did not start is not this process's to end.
TEST_F(AppControlLaunch, TerminateOnlyWhatThisProcessStarted) {
    std::vector<std::string> env = mDevice.env(kEcho);
    env.push_back("VORNIX_ECHO_STAY=1");
    vt::ProcessResult other;  // no ASSERT until it is joined
    std::thread starter(
        [&] { other = vt::runProcess({mDevice.packageRoot(kEcho) + "bin/echo-app"}, env); });
    int pid = 0;
    if (vt::runUntil([&] { return (pid = device::runningPid(mDevice.path(), kEcho)) > 0; }, 20)) {
        received();  // its start without a request
        AppControl r;
        r.setAppId(kEcho);
        EXPECT_EQ(r.sendLaunchRequest(nullptr, nullptr), 0);
        EXPECT_NE(received().find("caller=org.example.host\n"), std::string::npos);
        EXPECT_EQ(r.sendTerminateRequest(), APP_CONTROL_ERROR_PERMISSION_DENIED);
        EXPECT_EQ(device::runningPid(mDevice.path(), kEcho), pid);
        kill(pid, SIGTERM);
    }
    starter.join();
    EXPECT_GT(pid, 0);
    EXPECT_EQ(other.status, 0);  // it ran until its SIGTERM
}

// A UI app runs once: started again, even by several at the same moment, the process
// hands its request to the running instance and ends, leaving that one reachable.
TEST_F(AppControlLaunch, OneInstancePerApp) {
    std::vector<std::string> env = mDevice.env(kEcho);
    env.push_back("VORNIX_ECHO_STAY=1");
    const int kStarts = 5;
    vt::ProcessResult results[kStarts];  // no ASSERT until all are joined
    std::atomic<int> ended{0};
    std::vector<std::thread> starters;
    for (int i = 0; i < kStarts; ++i)
        starters.emplace_back([&, i] {
            results[i] = vt::runProcess({mDevice.packageRoot(kEcho) + "bin/echo-app"}, env);
            ++ended;
        });
    // Not in the main loop, whose child watch would reap the starters' children.
    devkit::waitFor([&] { return ended >= kStarts - 1; }, 30000);
    bool othersEnded = ended == kStarts - 1;
    int pid = device::runningPid(mDevice.path(), kEcho);
    EXPECT_TRUE(othersEnded);
    EXPECT_GT(pid, 0);
    EXPECT_EQ(device::sendControl(mDevice.path(), kEcho, "pause"), device::OK);
    if (pid > 0) kill(pid, SIGTERM);
    for (std::thread& t : starters) t.join();
    for (const vt::ProcessResult& r : results) EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(vt::exists(device::pidFile(mDevice.path(), kEcho)));
    EXPECT_FALSE(vt::exists(device::controlFifo(mDevice.path(), kEcho)));
}

// A started app holds its standard streams only, whatever its starter has open.
TEST_F(AppControlLaunch, StartedAppGetsNoStrayDescriptors) {
    int stray = open("/dev/null", O_RDONLY);  // no close-on-exec, like the toolkit's own
    AppControl r;
    r.setAppId(kEcho);
    EXPECT_EQ(r.sendLaunchRequest(nullptr, nullptr), 0);
    EXPECT_EQ(received("fds.txt"), "");
    close(stray);
    EXPECT_TRUE(echoEnded());
}

// A request that reaches a running app over its FIFO is answered through the wrapper;
// the answer reaches the sender's callback. Here this process stands as the running host.
TEST_F(AppControlLaunch, RunningAppAnswersThroughTheWrapper) {
    std::string pidPath = device::pidFile(mDevice.path(), "org.example.host");
    std::string fifoPath = device::controlFifo(mDevice.path(), "org.example.host");
    vt::writeFile(pidPath, std::to_string(getpid()) + "\n");
    int lock = open(pidPath.c_str(), O_RDONLY | O_CLOEXEC);
    flock(lock, LOCK_EX);
    mkfifo(fifoPath.c_str(), 0600);
    int fifo = open(fifoPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ReplySeen seen;
    AppControl sent;
    sent.setAppId("org.example.host");
    sent.setUri("u");
    EXPECT_EQ(sent.sendLaunchRequest(onReply, &seen), 0);
    char buf[4096];
    ssize_t n = read(fifo, buf, sizeof buf);
    std::string line(buf, n > 0 ? n : 0);
    ASSERT_EQ(line.rfind("appcontrol ", 0), 0u) << line;
    line.pop_back();  // the line feed
    app_control_h received = appcontrol_from_message(line.c_str() + 11);
    ASSERT_NE(received, nullptr);
    AppControl request(received, true);
    EXPECT_TRUE(request.isReplyReqested());
    app_control_h reply = nullptr;
    app_control_create(&reply);
    AppControl answer(reply, true);
    answer.addExtraData("echo", "answered");
    EXPECT_EQ(request.replyToLaunchRequest(reply, APP_CONTROL_RESULT_SUCCEEDED), 0);
    EXPECT_TRUE(vt::runUntil([&] { return seen.called; }, 20));
    EXPECT_EQ(seen.result, APP_CONTROL_RESULT_SUCCEEDED);
    EXPECT_EQ(seen.echo, "answered");
    EXPECT_EQ(seen.requestUri, "u");
    close(fifo);
    close(lock);
}

}  // namespace
