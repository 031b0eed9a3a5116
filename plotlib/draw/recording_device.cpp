#include "plotlib/draw/recording_device.h"

namespace plotlib {

std::vector<Recording::Segment> Recording::segments() const {
  std::vector<Segment> result;
  PagePoint pen;
  for (const Op& op : ops) {
    if (op.kind == Op::Kind::draw) result.push_back({pen, op.point});
    if (op.kind == Op::Kind::move || op.kind == Op::Kind::draw) pen = op.point;
  }
  return result;
}

std::vector<TextRun> Recording::texts() const {
  std::vector<TextRun> result;
  for (const Op& op : ops)
    if (op.kind == Op::Kind::text) result.push_back(op.text);
  return result;
}

bool RecordingDevice::open(int xmax, int ymax) {
  recording_ = Recording{};
  recording_.xmax = xmax;
  recording_.ymax = ymax;
  return true;
}

Recording::Op& RecordingDevice::add(Recording::Op::Kind kind) {
  Recording::Op& op = recording_.ops.emplace_back();
  op.kind = kind;
  return op;
}

void RecordingDevice::move(PagePoint p) { add(Recording::Op::Kind::move).point = p; }

void RecordingDevice::draw(PagePoint p) { add(Recording::Op::Kind::draw).point = p; }

void RecordingDevice::font(const FontSpec& spec) { add(Recording::Op::Kind::font).font = spec; }

void RecordingDevice::text(const TextRun& run) { add(Recording::Op::Kind::text).text = run; }

}  // namespace plotlib
