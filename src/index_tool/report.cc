#include "index_tool/report.h"

#include <iostream>

#include "platform/file_search.h"

namespace tessel {
namespace {

// Until every command takes its sink from its options, one that was given
// none writes where the commands always wrote.
void Write(const ReportSink& sink, ReportStream stream, std::string_view text) {
  if (sink.write != nullptr) return sink.write(sink.ctx, stream, text);
  (stream == ReportStream::kResult ? std::cout : std::cerr) << text << std::flush;
}

}  // namespace

void Say(const ReportSink& sink, std::string_view text) { Write(sink, ReportStream::kResult, text); }

void SayProblem(const ReportSink& sink, std::string_view text) { Write(sink, ReportStream::kProblem, text); }

void Complain(const ReportSink& sink, std::string_view path, std::string_view problem) {
  std::string line = "tessel-index: ";
  line += DisplayPath(path);
  line += ": ";
  line += problem;
  line += '\n';
  SayProblem(sink, line);
}

void Complain(const ReportSink& sink, std::string_view problem) {
  std::string line = "tessel-index: ";
  line += problem;
  line += '\n';
  SayProblem(sink, line);
}

WaitNotice WaitingNotice(const ReportSink& sink) {
  auto say = [](const void* ctx, const Platform&, std::string_view dir) {
    Say(*static_cast<const ReportSink*>(ctx), WaitingMessage(dir) + "\n");
  };
  return WaitNotice{&sink, say};
}

void CapturedReport::Take(void* ctx, ReportStream stream, std::string_view text) {
  CapturedReport* report = static_cast<CapturedReport*>(ctx);
  (stream == ReportStream::kResult ? report->results : report->problems).append(text);
  report->both.append(text);
}

}  // namespace tessel
