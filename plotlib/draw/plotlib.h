#pragma once
// PLOTLIB drawing routines: page, axis system, titles and curves on the screen, a metafile or a
// recording device. One global state; the level tells which routines may be called.
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "plotlib/draw/recording_device.h"

namespace plotlib {

// Level 0: device, output file and page format.
// "XWIN" screen, "WMF" metafile, "REC" recording device
void metafl(std::string_view keyword);
void setfil(std::string_view name);
void setpag(std::string_view keyword);
// Opens the device and restores every setting; level 1. A file that cannot be created is warned about
// and leaves level 0. A metafile whose name and its 999 numbered versions all exist is not opened
// either: the level stays 0 and disini returns why, for the caller to tell and decide on.
std::optional<std::string> disini();

// Levels 1 and 2: settings.
void pagera();
void height(int n);
void hname(int n);
void winfnt(std::string_view name);
void axspos(int nxa, int nya);  // level 1 only
void axslen(int nxl, int nyl);  // level 1 only
void labdig(int n, std::string_view axes);
void ticks(int n, std::string_view axes);
void name(std::string_view text, std::string_view axes);
void titlin(std::string_view text, int n);
void dash();
void dashl();
void hsymbl(int n);
void incmrk(int n);

// Axis system (level 1, then 2), titles and curves (level 2).
void graf(float xa, float xe, float xor_, float xstep, float ya, float ye, float yor, float ystep);
void title();
void curve(std::span<const float> x, std::span<const float> y, int n);

// Texts and symbols that the caller places. messag: a text whose box has its top left corner at page
// position (nx, ny), in the character height of `height` (levels 1 and 2); nlmess: its width in plot
// units at that height. symbol: symbol nsym (0 to 20) of size `hsymbl` centred at page position
// (nx, ny) (levels 1 and 2); rlsymb: centred at the axis values (x, y), cut at the axis system as
// curves are (level 2).
void messag(std::string_view text, int nx, int ny);
int nlmess(std::string_view text);
void symbol(int nsym, int nx, int ny);
void rlsymb(int nsym, float x, float y);

// Completes the plot on the device, writes the end-of-plot report; level 0.
void disfin();

// Where warnings, out-of-scaling lines and the report go; nullptr: standard output.
void set_message_stream(std::ostream* out);

// What the last recording device recorded (nullptr if none has been opened).
const Recording* recording();

// The current level, 0 to 2.
int level();

}  // namespace plotlib
