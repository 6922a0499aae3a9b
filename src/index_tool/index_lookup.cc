#include "index_tool/index_lookup.h"

#include <type_traits>

#include "platform/file_search.h"

namespace tessel {
namespace {

// Calls of the caught platform's every member but the console's go to the
// platform it was made from.
template <typename Fn>
struct Forwarder;
template <typename R, typename... A>
struct Forwarder<R (*)(void*, A...)> {
  template <R (*Platform::*member)(void*, A...)>
  static R Call(void* ctx, A... args) {
    const Platform& inner = static_cast<const CaughtConsole*>(ctx)->inner;
    return (inner.*member)(inner.ctx, args...);
  }
};

template <auto member>
void Forward(Platform* platform) {
  const Platform& inner = static_cast<const CaughtConsole*>(platform->ctx)->inner;
  using Fn = std::remove_cvref_t<decltype(inner.*member)>;
  platform->*member = inner.*member == nullptr ? nullptr : &Forwarder<Fn>::template Call<member>;
}

void CatchWrite(void* ctx, const char* data, size_t size) { static_cast<CaughtConsole*>(ctx)->text.append(data, size); }

// Why tessel finds no index, after a search that ended without one.
std::string NotFoundReason(const RunState& state, const IndexSearchTrace& trace) {
  if (!trace.config_found) {
    if (trace.home.empty()) return "it is not in the current directory, KORVO is not set and there is no config.qdx here";
    return "it is not in the current directory, and KORVO names " + DisplayPath(trace.home) +
           ", which holds no config.qdx";
  }
  return "it is not in the current directory, nor at " + DisplayPath(state.settings.index_path) + ", where " +
         DisplayPath(trace.config_path) + " points";
}

}  // namespace

void CatchConsole(const Platform& base, CaughtConsole* caught) {
  caught->inner = base;
  caught->text.clear();
  Platform* p = &caught->platform;
  p->ctx = caught;
#define TESSEL_FORWARD_MEMBER(result, name, parameters) Forward<&Platform::name>(p);
  TESSEL_PLATFORM_MEMBERS(TESSEL_FORWARD_MEMBER)
#undef TESSEL_FORWARD_MEMBER
  p->write_console = CatchWrite;
}

std::string TakeCaughtMessage(CaughtConsole* caught) {
  std::string text;
  for (char c : caught->text) {
    if (c == '\n') {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else if (c != '\r' && c != '\a') {
      text += c;
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  caught->text.clear();
  return text;
}

bool LookUpIndex(RunState* state, CaughtConsole* caught, bool* found, IndexSearchTrace* trace, std::string* message) {
  caught->text.clear();
  bool went_on = LocateIndex(state, found, trace);
  *message = TakeCaughtMessage(caught);
  return went_on;
}

std::string IndexPath(const ToolOptions& options) {
  return options.index_path.empty() ? PathIn(options.data_dir, kIndexFileName) : options.index_path;
}

int UseTesselsIndex(ToolOptions* options, bool creating) {
  const Platform& platform = *options->platform;
  CaughtConsole caught;
  CatchConsole(platform, &caught);
  RunState state;
  state.platform = &caught.platform;
  bool found = false;
  IndexSearchTrace trace;
  std::string message;
  if (!LookUpIndex(&state, &caught, &found, &trace, &message)) {
    if (creating) return kToolOk;  // init may be about to mend config.qdx
    Complain(options->report, "looking for the index as tessel does: " + message);
    return kToolFileError;
  }
  // init in the host's layout makes the index where config.qdx says tessel
  // will look for it, not here.
  bool configured = creating && trace.config_found && !state.settings.data_path.empty();
  if ((found || configured) && !trace.in_current_directory) {
    options->index_path = HostPath(state.settings.index_path);
    std::string_view directory, name;
    SplitLastComponent(options->index_path, &directory, &name);
    options->data_dir = std::string(directory);
    Say(options->report, "Using the index " + AbsolutePath(platform, options->index_path) + ", named by " +
                             AbsolutePath(platform, HostPath(trace.config_path)) + "\n");
  }
  if (found || creating) return kToolOk;
  Complain(options->report,
           "nlindex.qdx not found: " + NotFoundReason(state, trace) + " (tessel-index check explains the setup)");
  return kToolFileError;
}

LoadStatus LoadIndexOrReport(const ToolOptions& options, IndexFile* index) {
  std::string message;
  LoadStatus status = LoadIndexFile(*options.platform, IndexPath(options), index, &message);
  if (status != LoadStatus::kOk) Complain(options.report, index->path, message);
  return status;
}

}  // namespace tessel
