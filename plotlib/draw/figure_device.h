#pragma once
// The figure device: the page as PNG, SVG and PDF files for papers and slides, rendered by cairo.
#include <string>

#include "plotlib/draw/recording_device.h"

namespace plotlib {

// Page size and resolution of the figures. A plot unit is a tenth of a millimetre.
constexpr double kPointsPerUnit = 72.0 / 254.0;
constexpr double kPngDotsPerInch = 150.0;
constexpr double kLineWidthPoints = 0.75;  // lines are never hairlines

// Records the page and, when it closes, renders it into `stem`.png, `stem`.svg and `stem`.pdf (an
// existing file of these names is replaced): black on white, the page's aspect ratio, lines of 0.75 pt,
// text in the standard sans-serif font, the PNG at 150 dpi.
class FigureDevice : public Device {
 public:
  explicit FigureDevice(std::string stem) : stem_(std::move(stem)) {}

  std::string_view keyword() const override { return "FIGS"; }
  std::string file_name() const override { return stem_ + ".png/.svg/.pdf"; }
  bool open(int xmax, int ymax) override;
  void move(PagePoint p) override { recorder_.move(p); }
  void draw(PagePoint p) override { recorder_.draw(p); }
  void font(const FontSpec& spec) override { recorder_.font(spec); }
  void text(const TextRun& run) override { recorder_.text(run); }
  // Renders the three files; false when one of them could not be written.
  bool close() override;

 private:
  std::string stem_;
  RecordingDevice recorder_;
};

}  // namespace plotlib
