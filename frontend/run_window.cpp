#include "frontend/run_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Progress.H>

#include <cstdio>

namespace trov::front {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration_cast;
using std::chrono::seconds;

constexpr auto kShownAfter = std::chrono::milliseconds(500);  // a short run needs no window
constexpr auto kKilledAfter = seconds(10);                    // an engine that does not stop
constexpr double kTick = 0.2;                                 // seconds between updates

// "0:12", "1:02:03".
std::string clock_text(Clock::duration d) {
  const long long s = duration_cast<seconds>(d).count();
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

struct RunWindow {
  Fl_Double_Window window{540, 125, "Engine run"};
  Fl_Box status{20, 12, 500, 25};
  Fl_Progress bar{20, 45, 500, 22};
  Fl_Button cancel{420, 82, 100, 28, "Cancel"};
  EngineRun* run = nullptr;
  std::optional<Clock::time_point> stopped_at;

  RunWindow() {
    window.end();
    status.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    bar.minimum(0);
    bar.selection_color(fl_rgb_color(70, 110, 180));
    bar.hide();
    cancel.callback([](Fl_Widget*, void* w) { static_cast<RunWindow*>(w)->stop(); }, this);
    // Escape and the close box stop the run too
    window.callback([](Fl_Widget*, void* w) { static_cast<RunWindow*>(w)->stop(); }, this);
    window.position((Fl::w() - window.w()) / 2, (Fl::h() - window.h()) / 2);
  }

  void stop() {
    if (run->stopping()) return;
    run->stop();
    stopped_at = Clock::now();
    cancel.deactivate();
  }

  void update() {
    if (stopped_at && Clock::now() - *stopped_at > kKilledAfter) {
      run->stop();
      stopped_at.reset();
    }
    if (!window.shown() && run->elapsed() < kShownAfter) return;
    const std::string text =
        run->stopping() ? "Stopping the engine..." : run_status_text(run->progress(), run->elapsed());
    if (text != (status.label() ? status.label() : "")) status.copy_label(text.c_str());
    if (const auto& p = run->progress()) {
      bar.maximum(static_cast<float>(p->total));
      bar.value(static_cast<float>(p->done));
      bar.show();
    }
    if (!window.shown()) window.show();
  }
};

// The toolkit calls this when a stream of the engine has something (or has ended).
void stream_ready(int fd, void* data) {
  EngineRun& run = *static_cast<EngineRun*>(data);
  const int which = run.stream(0) == fd ? 0 : 1;
  run.read_stream(which);
  if (run.stream(which) < 0) Fl::remove_fd(fd);
}

}  // namespace

std::string run_status_text(const std::optional<EngineProgress>& progress, Clock::duration elapsed) {
  if (!progress) return "Running the engine: " + clock_text(elapsed);
  std::string text = "Bootstrap: " + std::to_string(progress->done) + " of " +
                     std::to_string(progress->total) + " replicates (" + clock_text(elapsed);
  if (progress->done > 0 && progress->done < progress->total) {
    const auto left = elapsed * (progress->total - progress->done) / progress->done;
    text += ", about " + clock_text(left) + " left";
  }
  return text + ")";
}

EngineOutcome run_engine_window(const std::string& engine, const std::string& input_path) {
  EngineRun run(engine, input_path);
  if (!run.started()) return *run.ended();
  for (int which : {0, 1}) Fl::add_fd(run.stream(which), FL_READ, stream_ready, &run);
  RunWindow w;
  w.run = &run;
  std::optional<EngineOutcome> outcome;
  while (!(outcome = run.ended())) {
    Fl::wait(kTick);
    w.update();
  }
  return *outcome;
}

}  // namespace trov::front
