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
# name beside this script (columns series, x, y, lower, upper, n, level; NA where one does not apply).
# Run: Rscript trov_plot.R
library(ggplot2)
args <- commandArgs(trailingOnly = FALSE)
script <- sub("^--file=", "", args[grep("^--file=", args)])
csv <- if (length(script) == 1) sub("\\.R$", ".csv", script) else "trov_plot.csv"
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

constexpr const char* kRTail =
    R"~(ggsave(sub("\\.csv$", "_ggplot.pdf", csv), p, width = @WIDTH@, height = @HEIGHT@, units = "mm")
)~";

constexpr const char* kPyHead =
    R"~("""Draws the figure of a trov run again from its plotted data, for restyling: the CSV of the same
name beside this script (columns series, x, y, lower, upper, n, level; empty where one does not apply).
Run: python3 trov_plot.py"""
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

constexpr const char* kPyTail = R"~(fig.tight_layout()
fig.savefig(csv.with_name(csv.stem + "_matplotlib.pdf"))
)~";

std::string filled(std::string text, const ScriptFigure& f) {
  // the titles last: a title's own text is never taken for a field
  const std::pair<std::string, std::string> fields[] = {{"@WIDTH@", number(f.width_mm)},
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
  return filled(std::string(kRHead) + (f.grid ? kRGrid : kRFitted) + kRTail, f);
}

std::string python_script(const ScriptFigure& f) {
  return filled(std::string(kPyHead) + (f.grid ? kPyGrid : kPyFitted) + kPyTail, f);
}

}  // namespace trov::front
