// trov._core: the library's call on NumPy arrays. The package's Python files (python/trov/) check the
// arguments, drop missing values and build the result object from the plain values returned here.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <span>
#include <vector>

#include "engine/api/derived.h"
#include "engine/api/traits.h"
#include "engine/api/trov.h"
#include "engine/api/watched.h"

namespace py = pybind11;
using namespace pybind11::literals;
using namespace trov::api;

namespace {

using Column = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::vector<double> to_vector(const Column& column) { return {column.data(), column.data() + column.size()}; }

py::array_t<double> to_array(const std::vector<double>& values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

// One member of every row, as a NumPy array.
template <class Row, class T>
py::array_t<T> column_of(const std::vector<Row>& rows, T Row::*member) {
  py::array_t<T> column(static_cast<py::ssize_t>(rows.size()));
  auto out = column.template mutable_unchecked<1>();
  for (std::size_t i = 0; i < rows.size(); ++i) out(static_cast<py::ssize_t>(i)) = rows[i].*member;
  return column;
}

template <class Enum>
py::object name_of(Enum value) {
  return py::cast(value).attr("name");
}

py::dict grid_columns(const std::vector<GridRow>& grid) {
  py::dict columns;
  columns["lnlambda"] = column_of(grid, &GridRow::lnlambda);
  columns["classic_edf"] = column_of(grid, &GridRow::classic_edf);
  columns["classic_gcv"] = column_of(grid, &GridRow::classic_gcv);
  columns["classic_ocv"] = column_of(grid, &GridRow::classic_ocv);
  columns["classic_iterations"] = column_of(grid, &GridRow::classic_iterations);
  columns["converged_ok"] = column_of(grid, &GridRow::converged_ok);
  columns["edf"] = column_of(grid, &GridRow::edf);
  columns["gcv"] = column_of(grid, &GridRow::gcv);
  columns["ocv"] = column_of(grid, &GridRow::ocv);
  columns["ubre"] = column_of(grid, &GridRow::ubre);
  columns["reml"] = column_of(grid, &GridRow::reml);
  columns["ml"] = column_of(grid, &GridRow::ml);
  columns["deviance"] = column_of(grid, &GridRow::deviance);
  columns["largest_difference"] = column_of(grid, &GridRow::largest_difference);
  return columns;
}

py::dict point_columns(const std::vector<FittedPoint>& points) {
  py::dict columns;
  columns["x"] = column_of(points, &FittedPoint::x);
  columns["covariate"] = column_of(points, &FittedPoint::covariate);
  columns["n"] = column_of(points, &FittedPoint::n);
  columns["y"] = column_of(points, &FittedPoint::y);
  columns["fitted"] = column_of(points, &FittedPoint::fitted);
  columns["eta"] = column_of(points, &FittedPoint::eta);
  columns["classic_fitted"] = column_of(points, &FittedPoint::classic_fitted);
  columns["lower"] = column_of(points, &FittedPoint::lower);
  columns["upper"] = column_of(points, &FittedPoint::upper);
  return columns;
}

py::tuple estimate(const Estimate& e) { return py::make_tuple(e.value, e.se, e.p, e.lower, e.upper); }

py::list estimates(const std::vector<Estimate>& values) {
  py::list list;
  for (const Estimate& e : values) list.append(estimate(e));
  return list;
}

py::dict peak_dict(const Peak& p) {
  return py::dict("inside"_a = p.inside, "location"_a = estimates(p.location),
                  "height"_a = estimate(p.height), "replicates"_a = p.replicates);
}

py::dict gradients_dict(const Gradients& g) {
  py::dict d;
  d["mean_fitness"] = g.mean_fitness;
  d["trait_mean"] = g.trait_mean;
  d["trait_sd"] = g.trait_sd;
  d["linear_limit"] = g.linear_limit;
  d["beta"] = estimate(g.beta);
  d["gamma"] = estimate(g.gamma);
  d["beta_standardized"] = estimate(g.beta_standardized);
  d["gamma_standardized"] = estimate(g.gamma_standardized);
  d["beta_mean_standardized"] = estimate(g.beta_mean_standardized);
  d["gamma_mean_standardized"] = estimate(g.gamma_mean_standardized);
  d["lande_arnold_beta"] = estimate(g.lande_arnold_beta);
  d["lande_arnold_gamma"] = estimate(g.lande_arnold_gamma);
  d["classic_beta"] = g.classic_beta;
  d["classic_gamma"] = g.classic_gamma;
  return d;
}

py::dict fit_dict(const Fit& fit) {
  py::dict d;
  d["lnlambda"] = fit.lnlambda;
  d["converged_ok"] = fit.converged_ok;
  d["edf"] = fit.edf;
  d["dispersion"] = fit.dispersion;
  d["points"] = point_columns(fit.points);
  d["coefficients"] = to_array(fit.coefficients);
  d["level_values"] = to_array(fit.levels);
  d["level_effects"] = to_array(fit.level_effects);
  d["gradients"] = fit.gradients ? py::object(gradients_dict(*fit.gradients)) : py::none();
  d["peak"] = fit.gradients ? py::object(peak_dict(fit.gradients->peak)) : py::none();
  if (fit.bootstrap) {
    const Bootstrap& b = *fit.bootstrap;
    d["bootstrap"] = py::dict("replicates"_a = b.replicates,
                              "type"_a = b.type == BootstrapType::cases ? "cases" : "parametric",
                              "degenerate"_a = b.degenerate, "not_converged"_a = b.not_converged,
                              "failed_refits"_a = b.failed_refits, "converged_failed"_a = b.converged_failed,
                              "lnlambda"_a = to_array(b.lnlambda));
  } else {
    d["bootstrap"] = py::none();
  }
  return d;
}

py::tuple error_tuple(const Error& error) { return py::make_tuple(static_cast<int>(error.code), error.text); }

// Results as a dict of plain values and NumPy arrays; an error as the tuple (code, text).
py::object outcome_object(const Outcome& outcome) {
  if (const auto* error = std::get_if<Error>(&outcome)) return error_tuple(*error);
  const auto& r = std::get<Results>(outcome);
  py::dict d;
  d["cases"] = r.cases;
  d["points"] = r.points;
  d["observations"] = r.observations;
  d["grid"] = grid_columns(r.grid);
  py::list minima;
  for (const Minimum& m : r.minima)
    minima.append(py::dict("criterion"_a = name_of(m.criterion), "lnlambda"_a = m.lnlambda,
                           "score"_a = m.score, "edf"_a = m.edf, "limit"_a = m.limit));
  d["minima"] = minima;
  if (r.recommended) {
    const Recommended& m = *r.recommended;
    d["recommended"] = py::dict("criterion"_a = name_of(m.criterion), "lnlambda"_a = m.lnlambda,
                                "edf"_a = m.edf, "limit"_a = m.limit, "text"_a = m.text);
  } else {
    d["recommended"] = py::none();
  }
  d["fit"] = r.fit ? py::object(fit_dict(*r.fit)) : py::none();
  d["warnings"] = r.warnings;
  d["report"] = report_text(r);
  return d;
}

// Runs work(control) on a thread of its own while this thread, without the GIL, looks for Python's
// signals every 100 ms and, where `progress` is a callable, calls progress(done, total) with what the
// work reported done since it last looked: Ctrl-C, or an exception of progress, stops the analysis, and
// that exception is raised once the analysis has ended.
template <class Work>
auto run_interruptibly(const Work& work, const py::object& progress = py::none()) {
  std::atomic<int> done{0}, total{0};
  int told = 0;
  const auto tell = [&] {  // false where progress raised (its exception is then Python's error)
    if (progress.is_none() || done == told) return true;
    told = done;
    try {
      progress(told, total.load());
    } catch (py::error_already_set& error) {
      error.restore();
      return false;
    }
    return true;
  };
  auto watched = [&] {
    py::gil_scoped_release release;
    return run_watched(
        [&](const Control& control) {
          Control reporting{.progress = {}, .stop = control.stop};
          if (!progress.is_none()) reporting.progress = [&](int d, int t) { total = t, done = d; };
          return work(reporting);
        },
        [&] {
          py::gil_scoped_acquire acquire;
          return PyErr_CheckSignals() != 0 || !tell();
        },
        std::chrono::milliseconds(100));
  }();
  if (watched.second || !tell()) throw py::error_already_set();
  return std::move(watched.first);
}

py::object analyse_arrays(const Column& x, const Column& y, const Column& n, const Column& covariate,
                          const Settings& settings, int workers) {
  const Data data{to_vector(x), to_vector(y), to_vector(n), to_vector(covariate)};
  return outcome_object(
      run_interruptibly([&](const Control& control) { return analyse(data, settings, workers, control); }));
}

py::list analyse_many_arrays(const std::vector<Column>& traits, const Column& y, const Column& n,
                             const Column& covariate, const Settings& settings, int workers,
                             const py::object& progress) {
  std::vector<std::vector<double>> columns;
  columns.reserve(traits.size());
  for (const Column& trait : traits) columns.push_back(to_vector(trait));
  const std::vector<double> response = to_vector(y), counts = to_vector(n), values = to_vector(covariate);
  const std::vector<Outcome> outcomes = run_interruptibly(
      [&](const Control& control) {
        return analyse_many(columns, response, counts, values, settings, workers, control);
      },
      progress);
  py::list list;
  for (const Outcome& outcome : outcomes) list.append(outcome_object(outcome));
  return list;
}

py::dict smooth_dict(const TraitSmooth& s) {
  return py::dict(
      "name"_a = s.name, "knots"_a = to_array(s.knots), "knot_values"_a = to_array(s.knot_values),
      "lambda"_a = s.lambda, "edf"_a = s.edf, "linear"_a = s.linear, "fitted"_a = to_array(s.fitted),
      "curve"_a = py::dict("x"_a = to_array(s.curve_x), "fitted"_a = to_array(s.curve_fitted),
                           "lower"_a = to_array(s.curve_lower), "upper"_a = to_array(s.curve_upper)));
}

py::dict traits_gradients_dict(const TraitsGradients& g) {
  return py::dict("mean_fitness"_a = g.mean_fitness, "trait_mean"_a = g.trait_mean, "trait_sd"_a = g.trait_sd,
                  "beta_names"_a = g.beta_names, "gamma_names"_a = g.gamma_names,
                  "beta"_a = estimates(g.beta), "gamma"_a = estimates(g.gamma),
                  "beta_standardized"_a = estimates(g.beta_standardized),
                  "gamma_standardized"_a = estimates(g.gamma_standardized),
                  "beta_mean_standardized"_a = estimates(g.beta_mean_standardized),
                  "gamma_mean_standardized"_a = estimates(g.gamma_mean_standardized),
                  "lande_arnold_beta"_a = estimates(g.lande_arnold_beta),
                  "lande_arnold_gamma"_a = estimates(g.lande_arnold_gamma));
}

// The analysis of several traits as a dict of plain values and NumPy arrays; an error as (code, text).
py::object traits_outcome_object(const TraitsOutcome& outcome) {
  if (const auto* error = std::get_if<Error>(&outcome)) return error_tuple(*error);
  const auto& r = std::get<TraitsResults>(outcome);
  py::list smooths;
  for (const TraitSmooth& s : r.smooths) smooths.append(smooth_dict(s));
  py::object surface = py::none(), bootstrap = py::none();
  if (r.surface)
    surface = py::dict("names"_a = r.surface->names, "lambda"_a = to_array(r.surface->lambda),
                       "edf"_a = r.surface->edf, "grid_a"_a = to_array(r.surface->grid_a),
                       "grid_b"_a = to_array(r.surface->grid_b),
                       "grid_fitted"_a = to_array(r.surface->grid_fitted));
  if (r.bootstrap)
    bootstrap = py::dict("replicates"_a = r.bootstrap->replicates, "type"_a = name_of(r.bootstrap->type),
                         "lambda"_a = name_of(r.bootstrap->lambda), "degenerate"_a = r.bootstrap->degenerate,
                         "failed"_a = r.bootstrap->failed);
  py::dict d("cases"_a = r.cases, "observations"_a = r.observations, "names"_a = r.names,
             "smooths"_a = smooths, "surface"_a = surface, "intercept"_a = r.intercept,
             "coefficient_names"_a = r.coefficient_names, "coefficients"_a = to_array(r.coefficients),
             "edf"_a = r.edf, "reml"_a = r.reml, "deviance"_a = r.deviance, "scale"_a = r.scale,
             "reml_iterations"_a = r.reml_iterations);
  d["eta"] = to_array(r.eta);
  d["fitted"] = to_array(r.fitted);
  d["gradients"] = traits_gradients_dict(r.gradients);
  d["peak"] = peak_dict(r.peak);
  d["bootstrap"] = bootstrap;
  d["warnings"] = r.warnings;
  return d;
}

// A covariate as the package gives it: (name, values, categorical).
using CovariateColumns = std::vector<std::tuple<std::string, Column, bool>>;

py::object analyse_traits_arrays(const std::vector<Column>& traits, const std::vector<std::string>& names,
                                 const Column& y, const Column& n, const CovariateColumns& covariates,
                                 const Settings& settings, const TraitsModel& shape, int workers) {
  TraitsData data{.names = names, .traits = {}, .y = to_vector(y), .n = to_vector(n), .covariates = {}};
  for (const Column& trait : traits) data.traits.push_back(to_vector(trait));
  for (const auto& [name, values, categorical] : covariates)
    data.covariates.push_back({name, to_vector(values), categorical});
  return traits_outcome_object(run_interruptibly(
      [&](const Control& control) { return analyse_traits(data, settings, shape, workers, control); }));
}

// The threads for `workers` (see worker_threads), or the refusal as the tuple (code, text).
py::object worker_count(double workers) {
  const std::variant<int, Error> threads = worker_threads(workers);
  if (const auto* error = std::get_if<Error>(&threads)) return error_tuple(*error);
  return py::int_(std::get<int>(threads));
}

std::span<const double> span_of(const Column& c) { return {c.data(), static_cast<std::size_t>(c.size())}; }

// The fitted function at the trait values `at` (see trov::api::predict) as the tuple (eta, mean), of
// the fit the package keeps: its points' x, covariate, n and eta, and the covariate's coefficients,
// level values and level effects as fit_dict gives them; at_covariate empty for the mean effect.
py::tuple predict_arrays(Model model, const Column& x, const Column& covariate, const Column& n,
                         const Column& eta, const Column& coefficients, const Column& levels,
                         const Column& level_effects, const Column& at, const Column& at_covariate) {
  Fit fit{.coefficients = to_vector(coefficients),
          .levels = to_vector(levels),
          .level_effects = to_vector(level_effects)};
  for (py::ssize_t i = 0; i < x.size(); ++i)
    fit.points.push_back({.x = x.at(i), .covariate = covariate.at(i), .n = n.at(i), .eta = eta.at(i)});
  const Prediction p = predict(fit, model, span_of(at), span_of(at_covariate));
  return py::make_tuple(to_array(p.eta), to_array(p.mean));
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "trov's library: the analysis of a fitness function (use the functions of the package trov)";

  py::enum_<Model>(m, "Model")
      .value("normal", Model::normal)
      .value("binomial", Model::binomial)
      .value("poisson", Model::poisson);
  py::enum_<Criterion>(m, "Criterion")
      .value("reml", Criterion::reml)
      .value("ml", Criterion::ml)
      .value("gcv", Criterion::gcv)
      .value("ubre", Criterion::ubre)
      .value("ocv", Criterion::ocv);
  py::enum_<BootstrapLambda>(m, "BootstrapLambda")
      .value("fixed", BootstrapLambda::fixed)
      .value("reselected", BootstrapLambda::reselected);
  py::enum_<BootstrapType>(m, "BootstrapType")
      .value("parametric", BootstrapType::parametric)
      .value("cases", BootstrapType::cases);

  py::class_<Settings>(m, "Settings")
      .def(py::init<>())
      .def_readwrite("model", &Settings::model)
      .def_readwrite("categorical", &Settings::categorical)
      .def_readwrite("grid_points", &Settings::grid_points)
      .def_readwrite("lnlambda_min", &Settings::lnlambda_min)
      .def_readwrite("lnlambda_max", &Settings::lnlambda_max)
      .def_readwrite("lnlambda", &Settings::lnlambda)
      .def_readwrite("fit_recommended", &Settings::fit_recommended)
      .def_readwrite("classic", &Settings::classic)
      .def_readwrite("maxit", &Settings::maxit)
      .def_readwrite("stop", &Settings::stop)
      .def_readwrite("bootstrap", &Settings::bootstrap)
      .def_readwrite("seed", &Settings::seed)
      .def_readwrite("criterion", &Settings::criterion)
      .def_readwrite("bootstrap_lambda", &Settings::bootstrap_lambda)
      .def_readwrite("bootstrap_type", &Settings::bootstrap_type);

  py::class_<TraitsModel>(m, "TraitsModel")
      .def(py::init<>())
      .def_readwrite("surface", &TraitsModel::surface)
      .def_readwrite("knots", &TraitsModel::knots)
      .def_readwrite("surface_knots", &TraitsModel::surface_knots);

  m.def("analyse", &analyse_arrays, "x"_a, "y"_a, "n"_a, "covariate"_a, "settings"_a, "workers"_a);
  m.def("analyse_many", &analyse_many_arrays, "traits"_a, "y"_a, "n"_a, "covariate"_a, "settings"_a,
        "workers"_a, "progress"_a = py::none());
  m.def("analyse_traits", &analyse_traits_arrays, "traits"_a, "names"_a, "y"_a, "n"_a, "covariates"_a,
        "settings"_a, "shape"_a, "workers"_a);
  m.def(
      "error_text", [](int code) { return error_text(static_cast<ErrorCode>(code)); }, "code"_a);
  m.def("worker_threads", &worker_count, "workers"_a);
  m.def("predict", &predict_arrays, "model"_a, "x"_a, "covariate"_a, "n"_a, "eta"_a, "coefficients"_a,
        "levels"_a, "level_effects"_a, "at"_a, "at_covariate"_a);
}
