// Where tessel-index's words go. Every command writes its results (what
// the sysop asked for: a listing, a summary, a new list's line) and its
// problems (each naming its file) to the sink its options give; only the
// program's main() ties a sink to standard output and standard error, and
// tests read a sink of strings.
#ifndef TESSEL_INDEX_TOOL_REPORT_H_
#define TESSEL_INDEX_TOOL_REPORT_H_

#include <string>
#include <string_view>

#include "run/run_lock.h"

namespace tessel {

enum class ReportStream {
  kResult,   // standard output
  kProblem,  // standard error
};

struct ReportSink {
  void* ctx = nullptr;
  // Takes "text" at once, in order with everything written before.
  void (*write)(void* ctx, ReportStream stream, std::string_view text) = nullptr;
};

// "text" as a result, as it stands.
void Say(const ReportSink& sink, std::string_view text);
// "tessel-index: PATH: problem" and a line end, as a problem, PATH with
// the system's separator (DisplayPath); without a path, "tessel-index:
// problem".
void Complain(const ReportSink& sink, std::string_view path, std::string_view problem);
void Complain(const ReportSink& sink, std::string_view problem);
// "text" as a problem, as it stands (the usage text after a complaint).
void SayProblem(const ReportSink& sink, std::string_view text);

// The lock routines' notice that the command waits for another run to
// finish with a directory: "Waiting for another run to finish with DIR..."
// and a line end, as a result to "sink", which must outlive the notice.
WaitNotice WaitingNotice(const ReportSink& sink);

// A sink that keeps what it is given, for tests and for callers that put
// a command's words elsewhere.
struct CapturedReport {
  std::string results;
  std::string problems;
  std::string both;  // results and problems, in the order written
  ReportSink sink() { return ReportSink{this, &CapturedReport::Take}; }
  static void Take(void* ctx, ReportStream stream, std::string_view text);
};

}  // namespace tessel

#endif  // TESSEL_INDEX_TOOL_REPORT_H_
