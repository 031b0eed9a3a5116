#include "frontend/plot_scripts.h"

#include <cstdio>

namespace trov::front {

namespace {

// A text as a double-quoted string literal of R and of Python.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  return out + "\"";
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

constexpr const char* kRHead =
    R"~(# Draws the figure of a trov run again from its plotted data, for restyling: the CSV of the same
# name beside this script (columns @COLUMNS@; NA where one does not apply).
# Run: Rscript @STEM@.R
library(ggplot2)
args <- commandArgs(trailingOnly = FALSE)
script <- sub("^--file=", "", args[grep("^--file=", args)])
csv <- if (length(script) == 1) sub("\\.R$", ".csv", script) else "@STEM@.csv"
d <- read.csv(csv)
theme_set(theme_classic(base_size = @FONT@))
)~";

constexpr const char* kRGrid =
    R"~(d$panel <- ifelse(grepl("_classic$", d$series), "Classic score", "Converged score")
scores <- d[d$series != "recommended", ]
best <- d[d$series == "recommended", ]
p <- ggplot(scores, aes(x, y, linetype = series)) +
  geom_line(na.rm = TRUE) +
  geom_point(data = best, aes(x, y), shape = 8, size = 2, inherit.aes = FALSE) +
  facet_grid(panel ~ ., scales = "free_y") +
  labs(x = @XTITLE@, y = "Score", linetype = NULL)
)~";

constexpr const char* kRFitted = R"~(fit <- d[d$series == "fit", ]
data <- d[d$series == "data", ]
classic <- d[d$series == "classic", ]
fitted <- d[d$series == "fitted_uncorrected", ]
p <- ggplot(fit, aes(x, y))
if (any(!is.na(fit$lower))) p <- p + geom_ribbon(aes(ymin = lower, ymax = upper), fill = "grey80")
p <- p + geom_point(data = data, aes(size = n), shape = 1) + geom_line()
if (nrow(classic) > 0) p <- p + geom_line(data = classic, linetype = "dashed", colour = "grey35", na.rm = TRUE)
if (nrow(fitted) > 0) p <- p + geom_point(data = fitted, aes(shape = factor(level)))
p <- p + scale_size_area(max_size = 3) + labs(x = @XTITLE@, y = @YTITLE@, size = "N", shape = "Covariate")
)~";

constexpr const char* kRAdditive = R"~(curves <- d[d$series == "curve", ]
curves$trait <- factor(curves$trait, levels = unique(curves$trait))
people <- d[d$series %in% c("individual", "survived", "died"), ]
people$trait <- factor(people$trait, levels = levels(curves$trait))
p <- ggplot(curves, aes(a, fitted)) +
  geom_ribbon(aes(ymin = lower, ymax = upper), fill = "grey80") +
  geom_line()
if (any(people$series == "individual")) {
  p <- p + geom_point(data = people, aes(a, y), shape = 1, size = 0.6)
} else {
  p <- p + geom_rug(data = people[people$y == 1, ], aes(a), sides = "t", inherit.aes = FALSE) +
    geom_rug(data = people[people$y == 0, ], aes(a), sides = "b", inherit.aes = FALSE)
}
p <- p + facet_wrap(~trait, nrow = 1, scales = "free_x", strip.position = "bottom") +
  theme(strip.placement = "outside", strip.background = element_blank()) + labs(x = NULL, y = @YTITLE@)
)~";

constexpr const char* kRSurface = R"~(surface <- d[d$series == "surface", ]
people <- d[d$series %in% c("individual", "survived", "died"), ]
peak <- d[d$series == "peak", ]
p <- ggplot(surface, aes(a, b)) + geom_contour(aes(z = fitted, colour = after_stat(level)), bins = 10)
if (any(people$series == "individual")) {
  p <- p + geom_point(data = people, aes(size = y), shape = 1) + scale_size_area(max_size = 2.5)
} else {
  p <- p + geom_point(data = people, aes(shape = series), size = 0.8) +
    scale_shape_manual(values = c(died = 1, survived = 16))
}
if (nrow(peak) > 0) p <- p + geom_point(data = peak, shape = 8, size = 2.5)
p <- p + scale_colour_gradient(low = "grey70", high = "black") +
  labs(x = @XTITLE@, y = @YTITLE@, colour = "Fitted", shape = NULL, size = "Y")
)~";

constexpr const char* kRTail =
    R"~(ggsave(sub("\\.csv$", "_ggplot.pdf", csv), p, width = @WIDTH@, height = @HEIGHT@, units = "mm")
)~";

constexpr const char* kPyHead =
    R"~("""Draws the figure of a trov run again from its plotted data, for restyling: the CSV of the same
name beside this script (columns @COLUMNS@; empty where one does not apply).
Run: python3 @STEM@.py"""
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import pandas as pd

csv = Path(__file__).with_suffix(".csv")
d = pd.read_csv(csv)
series = dict(tuple(d.groupby("series")))
plt.rcParams.update({"font.size": @FONT@, "axes.spines.top": False, "axes.spines.right": False})
MM = 1 / 25.4


def name_of(key):
    score, kind = key.split("_")
    return f"{score.upper()} ({kind})"


)~";

constexpr const char* kPyGrid = R"~(converged = [key for key in series if key.endswith("_converged")]
fig, axes = plt.subplots(1 + len(converged), 1, sharex=True, squeeze=False, figsize=(@WIDTH@ * MM, @HEIGHT@ * MM))
axes = axes[:, 0]
for key, style in (("gcv_classic", "-"), ("ocv_classic", "--")):
    if key in series:
        axes[0].plot(series[key].x, series[key].y, "k" + style, label=name_of(key))
axes[0].set_ylabel("Classic score")
for ax, key in zip(axes[1:], converged):
    ax.plot(series[key].x, series[key].y, "k-", label=name_of(key))
    if "recommended" in series:
        best = series["recommended"]
        ax.plot(best.x, best.y, "k*", markersize=7, label="minimum")
    ax.set_ylabel(key.split("_")[0].upper() + " score (converged)")
for ax in axes:
    ax.legend(frameon=False)
axes[-1].set_xlabel(@XTITLE@)
)~";

constexpr const char* kPyFitted = R"~(fig, ax = plt.subplots(figsize=(@WIDTH@ * MM, @HEIGHT@ * MM))
fit = series["fit"]
if fit.lower.notna().any():
    ax.fill_between(fit.x, fit.lower, fit.upper, color="0.82", linewidth=0, label="+/- 1 bootstrap SE")
data = series["data"]
ax.scatter(data.x, data.y, s=12 * data.n / data.n.max(), facecolors="none", edgecolors="k", linewidths=0.6,
           label="data")
ax.plot(fit.x, fit.y, "k-", label="fit")
if "classic" in series:
    ax.plot(series["classic"].x, series["classic"].y, "--", color="0.35", label="classic")
if "fitted_uncorrected" in series:
    groups = series["fitted_uncorrected"].groupby("level", dropna=False)
    for (level, rows), marker in zip(groups, "s^D*" * 5):
        ax.scatter(rows.x, rows.y, marker=marker, facecolors="none", edgecolors="k", s=10,
                   label=f"fitted, covariate = {level:g}")
ax.set_xlabel(@XTITLE@)
ax.set_ylabel(@YTITLE@)
ax.legend(frameon=False)
)~";

constexpr const char* kPyAdditive = R"~(curves = series["curve"]
traits = list(dict.fromkeys(curves.trait))
fig, axes = plt.subplots(1, len(traits), sharey=True, squeeze=False, figsize=(@WIDTH@ * MM, @HEIGHT@ * MM))
for ax, name in zip(axes[0], traits):
    c = curves[curves.trait == name]
    ax.fill_between(c.a, c.lower, c.upper, color="0.82", linewidth=0)
    ax.plot(c.a, c.fitted, "k-")
    if "individual" in series:
        rows = series["individual"][series["individual"].trait == name]
        ax.scatter(rows.a, rows.y, s=4, facecolors="none", edgecolors="k", linewidths=0.5)
    for key in ("survived", "died"):
        if key in series:
            rows = series[key][series[key].trait == name]
            ax.plot(rows.a, rows.y, "|", color="k", markersize=4)
    ax.set_xlabel(name)
axes[0][0].set_ylabel(@YTITLE@)
)~";

constexpr const char* kPySurface = R"~(fig, ax = plt.subplots(figsize=(@WIDTH@ * MM, @HEIGHT@ * MM))
grid = series["surface"].pivot(index="b", columns="a", values="fitted")
lines = ax.contour(grid.columns, grid.index, grid.values, levels=10, colors="0.4", linewidths=0.8)
ax.clabel(lines, fontsize=@FONT@ * 0.8)
if "individual" in series:
    rows = series["individual"]
    ax.scatter(rows.a, rows.b, s=12 * rows.y / rows.y.max(), facecolors="none", edgecolors="k", linewidths=0.5)
for key, face in (("survived", "k"), ("died", "none")):
    if key in series:
        rows = series[key]
        ax.scatter(rows.a, rows.b, s=4, facecolors=face, edgecolors="k", linewidths=0.5, label=key)
if "peak" in series:
    ax.plot(series["peak"].a, series["peak"].b, "k*", markersize=7, label="peak")
ax.set_xlabel(@XTITLE@)
ax.set_ylabel(@YTITLE@)
ax.legend(frameon=False)
)~";

constexpr const char* kPyTail = R"~(fig.tight_layout()
fig.savefig(csv.with_name(csv.stem + "_matplotlib.pdf"))
)~";

bool of_traits(const ScriptFigure& f) {
  return f.kind == ScriptKind::additive || f.kind == ScriptKind::surface;
}

std::string filled(std::string text, const ScriptFigure& f) {
  const bool traits = of_traits(f);
  // the titles last: a title's own text is never taken for a field
  const std::pair<std::string, std::string> fields[] = {
      {"@STEM@", traits ? "trov_traits_plot" : "trov_plot"},
      {"@COLUMNS@",
       traits ? "series, trait, a, b, y, fitted, lower, upper, n" : "series, x, y, lower, upper, n, level"},
      {"@WIDTH@", number(f.width_mm)},
      {"@HEIGHT@", number(f.height_mm)},
      {"@FONT@", number(f.font_pt)},
      {"@XTITLE@", quoted(f.x_title)},
      {"@YTITLE@", quoted(f.y_title)}};
  for (const auto& [key, value] : fields)
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
      text.replace(at, key.size(), value);
  return text;
}

}  // namespace

std::string r_script(const ScriptFigure& f) {
  static constexpr const char* kBodies[] = {kRGrid, kRFitted, kRAdditive, kRSurface};
  return filled(std::string(kRHead) + kBodies[static_cast<int>(f.kind)] + kRTail, f);
}

std::string python_script(const ScriptFigure& f) {
  static constexpr const char* kBodies[] = {kPyGrid, kPyFitted, kPyAdditive, kPySurface};
  return filled(std::string(kPyHead) + kBodies[static_cast<int>(f.kind)] + kPyTail, f);
}

}  // namespace trov::front
