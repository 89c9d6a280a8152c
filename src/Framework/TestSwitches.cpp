#include "Framework/TestSwitches.h"

#include "Framework/PLog.h"
#include "Platform/System/Clock.h"
#include "Platform/System/FileTrace.h"

#include <string>
#include <string_view>

bool ApplyFixedStepSwitch(const char* value) {
    if (!value || !*value) return false;
    const std::string_view text(value);
    if (text == "0") return false;
    if (text != "1") {
        CPLog::Instance().Print(0, "Application: %s=\"%s\" is ignored: only 1 (on) or 0 (off) is understood",
                                kFixedStepSwitch, value);
        return false;
    }
    // Lives as long as the process: the clock is asked until the very end.
    static Platform::FixedStepClock clock;
    Platform::SetClock(&clock);
    return true;
}

bool ApplyFileTraceSwitch(const char* value) {
    if (!value || !*value) return false;
    std::string error;
    if (!Platform::OpenFileTrace(value, &error)) {
        CPLog::Instance().Print(0, "Application: the file trace \"%s\" (%s) cannot be opened: %s", value,
                                kFileTraceSwitch, error.c_str());
        return false;
    }
    return true;
}
