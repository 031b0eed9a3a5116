#pragma once
// A device that keeps every move, draw, font and text, so that tests can check the geometry exactly.
#include <string>
#include <vector>

#include "plotlib/draw/device.h"

namespace plotlib {

struct Recording {
  struct Segment {
    PagePoint from;
    PagePoint to;
  };
  struct Op {
    enum class Kind { move, draw, font, text };
    Kind kind = Kind::move;
    PagePoint point;  // move and draw
    FontSpec font;    // font
    TextRun text;     // text
  };

  int xmax = 0;
  int ymax = 0;
  bool closed = false;
  std::vector<Op> ops;

  // Every drawn segment, in drawing order.
  std::vector<Segment> segments() const;
  // Every text, in drawing order.
  std::vector<TextRun> texts() const;
};

class RecordingDevice : public Device {
 public:
  std::string_view keyword() const override { return "REC"; }
  bool open(int xmax, int ymax) override;
  void move(PagePoint p) override;
  void draw(PagePoint p) override;
  void font(const FontSpec& spec) override;
  void text(const TextRun& run) override;
  bool close() override {
    recording_.closed = true;
    return true;
  }

  const Recording& recording() const { return recording_; }

 private:
  Recording::Op& add(Recording::Op::Kind kind);

  Recording recording_;
};

}  // namespace plotlib
