#include "engine/driver/run.h"

#include <cmath>
#include <memory>

#include "common/error_stop.h"
#include "common/format.h"
#include "common/list_writer.h"
#include "engine/covariate/design.h"
#include "engine/driver/bootstrap.h"
#include "engine/driver/results.h"

namespace trov {

// Storage the run never reads stays unallocated: a small data set starts and ends quickly.
Run::Run(const Settings& s, Points p)
    : settings(s),
      points(std::move(p)),
      rows(points.n),
      xcov(s.M > 0 ? static_cast<std::size_t>(rows) * kMaxcol : 0),
      levels(kMaxcol),
      xcompress(s.M > 0 ? rows : 0),
      ycompress(xcompress.size()),
      icompress(xcompress.size()),
      icases(xcompress.size()),
      groups{xcompress, icompress, icases, 0},
      sy(rows),
      snu(rows),
      syc(rows),
      nufit(rows),
      beta(kMaxcol) {
  if (s.M > 0)
    backfit_work.emplace(rows, kMaxcol);
  else
    glisp_work.emplace(rows);
}

void fit_at_lambda(Run& run) {
  const Settings& s = run.settings;
  Points& p = run.points;
  if (run.M == 0) {
    glisp(run.lambda, p.n, p.x, p.y, run.sy, run.snu, run.trace, run.gcv, run.ocv, s.maxit, s.stop, run.niter,
          s.model, p.irep, run.ierr, kReslim, kSdmax, *run.glisp_work);
    if (run.ierr > 0) {
      say(format_record("(//A)", {" Program crashed (GLM weight is zero)"}));
      error_stop();
    }
  } else {
    backfit(p.y, run.xcov, p.n, run.M, p.irep, s.model, run.sy, run.syc, run.beta, run.nufit, run.snu,
            s.catcov, s.stop, s.maxit, run.lambda, run.rows, kMaxcol, run.trace, run.niter, run.gcv, kReslim,
            kSdmax, kNcycle, run.groups, run.ycompress, *run.backfit_work);
  }
}

namespace {

// Covariate design: intercept and covariate value, replaced by the level design when categorical.
void build_design(Run& run) {
  Points& p = run.points;
  for (int i = 0; i < p.n; ++i) {
    run.xcov[static_cast<std::size_t>(i)] = 1.0;
    run.xcov[static_cast<std::size_t>(run.rows + i)] = p.xsave[i];
  }
  if (run.settings.catcov == 0)
    run.M = 2;
  else
    designx(run.xcov, run.rows, kMaxcol, p.n, run.M, run.levels);
}

}  // namespace

void run_engine(std::istream& parameter_stream) {
  ListReader parameters(parameter_stream, "the parameter file");
  const Settings settings = read_settings(parameters);
  Points points;
  datin(parameters, settings, points);
  check_points(points, settings.model);
  auto run = std::make_unique<Run>(settings, std::move(points));
  const Settings& s = run->settings;
  run->seed = s.seed;
  Points& p = run->points;
  for (int i = 0; i < p.n; ++i) run->ntot += p.irep[i];

  run->M = s.M;
  if (run->M > 0) {
    build_design(*run);
    if (!compressx(p.x, p.irep, p.n, run->groups))
      error_stop("Error: the counts N of one X value add up to more than 2147483647");
    compressy(p.y, p.irep, run->groups, run->ycompress);
  }
  say(ListWriter().text("Results will be written to file TROV.OUT"));

  ResultsFile out("trov.out");
  out.header(s, run->M, run->ntot, p.n, run->levels);
  for (int k = 1; k <= s.nstep; ++k) {
    double lnlambda = (k - 1) * s.step + s.lmin;
    run->lambda = std::exp(lnlambda);
    fit_at_lambda(*run);
    out.grid_line(s, run->M, lnlambda, run->trace, run->gcv, run->ocv, run->niter);
  }
  if (s.nstep == 1 && s.iboot <= 1)
    out.fitted_table(
        s, run->M, p.n,
        {p.y, p.x, p.xsave, p.irep, run->sy, run->snu, run->syc, run->nufit, run->beta, run->levels});
  if (s.iboot > 1) run_bootstrap(*run, out);
  out.close();
}

}  // namespace trov
