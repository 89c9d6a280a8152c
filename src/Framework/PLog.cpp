#include "Framework/PLog.h"

#include "Platform/System/NumberText.h"

#include <cstdarg>

CPLog& CPLog::Instance() {
    static CPLog log;
    return log;
}

void CPLog::Print(int level, const char* format, ...) {
    if (!m_sink || !format) return;
    va_list args;
    va_start(args, format);
    std::string text = Platform::FormatCV(format, args);
    va_end(args);
    m_sink(level, text);
}
