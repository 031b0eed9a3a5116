#pragma once
// The Windows Metafile device: standard metafile records written by our own code, no display needed.
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "plotlib/draw/device.h"

namespace plotlib {

// The name to write under: `name` itself if no such file exists, else the first free numbered version
// ("plot_1.wmf" ... "plot_999.wmf"); nothing beyond 999.
std::optional<std::string> versioned_file_name(const std::string& name);

// Metafile units per plot unit: tenths of a millimetre to twips (1440/254).
constexpr double kMetafileScale = 5.669291338582677;

// Builds the records of a standard metafile and writes header and records at the end.
class WmfWriter {
 public:
  struct Colour {
    std::uint8_t r, g, b;
  };

  void set_map_mode_anisotropic();
  void set_window_org(int x, int y);
  void set_window_ext(int width, int height);
  void set_bk_mode_transparent();
  void set_text_colour(Colour c);
  int create_pen(Colour c);
  int create_brush(Colour c);
  int create_font(int height, int escapement, int weight, bool italic, const std::string& face);
  void select_object(int index);
  void delete_object(int index);
  void move_to(int x, int y);
  void line_to(int x, int y);
  void rectangle(int left, int top, int right, int bottom);
  void text_out(int x, int y, const std::string& text);

  // The whole file: header, records, end record.
  std::vector<std::uint8_t> finish();

 private:
  void record(std::uint16_t function, std::initializer_list<int> params);
  void record(std::uint16_t function, const std::vector<std::uint16_t>& params);
  int new_object();

  std::vector<std::uint16_t> words_;
  std::vector<bool> objects_;  // slots of the object table in use
  std::size_t max_objects_ = 0;
  std::uint32_t max_record_ = 0;
};

class WmfDevice : public Device {
 public:
  // `file_name`: the name chosen with versioned_file_name.
  explicit WmfDevice(std::string file_name) : file_name_(std::move(file_name)) {}

  std::string_view keyword() const override { return "WMF"; }
  std::string file_name() const override { return file_name_; }
  bool open(int xmax, int ymax) override;
  void move(PagePoint p) override;
  void draw(PagePoint p) override;
  void font(const FontSpec& spec) override { font_spec_ = spec; }
  void text(const TextRun& run) override;
  bool close() override;

 private:
  void colour(WmfWriter::Colour c);

  std::string file_name_;
  std::ofstream file_;
  WmfWriter writer_;
  int pen_ = -1;
  FontSpec font_spec_;
  int font_ = -1;
  int font_height_ = 0, font_angle_ = 0;
  std::string font_face_;
  bool font_bold_ = false, font_italic_ = false;
};

}  // namespace plotlib
