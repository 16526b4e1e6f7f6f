// Developer trace: one record per call, written to the debug-output sink
// (standard error unless a test installed a hook, see platform/debug_output.h).
//
// A record is
//   "<P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: " + message
// with process id, thread id, local time, the writing function as
// "Class::Method" and the source line. Nothing is appended after the message:
// callers put "\r\n" in their format where a record ends a line.
//
// The message format is a wide printf format (glibc conventions): "%ls" takes
// a wide string, "%s" a narrow one, "%d"/"%ld" integers. Data that may contain
// '%' (URLs, paths) must travel as a "%ls"/"%s" value, never inside the format.
//
// Thread-safe; no locks; never fails the caller.
#pragma once

#include <string>

namespace Utils {

// Writes one record. Prefer the QLOG macro, which fills function and line.
void DiagnosticLogWrite(const char* function, int line, const wchar_t* format, ...);

// Builds the record text without writing it (used by the writer and by tests).
std::wstring DiagnosticLogFormat(const char* function, int line, const wchar_t* format, ...);

// Turns __PRETTY_FUNCTION__ ("void ns::Class::Method(int)") into "ns::Class::Method".
std::string QualifiedFunctionName(const char* prettyFunction);

}  // namespace Utils

#define QLOG(format, ...)                                                                  \
  ::Utils::DiagnosticLogWrite(::Utils::QualifiedFunctionName(__PRETTY_FUNCTION__).c_str(), \
                              __LINE__, format __VA_OPT__(, ) __VA_ARGS__)
