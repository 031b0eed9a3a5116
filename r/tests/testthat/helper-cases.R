# The engine's golden cases (tests/cases of the repository that holds this package, or their copies in the
# package's tarball): a case's data and expected trov.json, and the fitness() call that its trov.in and
# trov.options describe. trov.json holds the settings as the engine read them (single-precision values),
# so the call gives the same analysis.
repository_dir <- function() {
  copies <- test_path("repository")  # scripts/build-r-package.sh puts them there
  normalizePath(if (dir.exists(copies)) copies else test_path("..", "..", ".."), mustWork = TRUE)
}

cases_dir <- function() file.path(repository_dir(), "tests", "cases")

golden_case <- function(name) {
  dir <- file.path(cases_dir(), name)
  expected <- jsonlite::fromJSON(file.path(dir, "expected.trov.json"))
  s <- expected$settings
  columns <- c("y", "x", if (s$covariates == 1) "covariate", if (s$counts_column) "n")
  data <- read.table(file.path(dir, s$data_file), col.names = columns)
  settings <- list(data = data, y = "y", x = "x", n = if (s$counts_column) "n",
                   covariate = if (s$covariates == 1) "covariate", model = s$model,
                   maxit = s$maxit, stop = s$stop, seed = s$seed, criterion = s$criterion,
                   bootstrap_lambda = s$bootstrap_lambda, bootstrap_type = s$bootstrap_type,
                   bootstrap = s$bootstrap_replicates, categorical = s$categorical, classic = TRUE)
  if (s$nstep == 1) settings$lnlambda <- s$lmin
  else settings <- c(settings, list(grid = c(s$lmin, s$lmax), grid_points = s$nstep))
  list(expected = expected, call = settings, data = data)
}

run_case <- function(case, ...) do.call(fitness, utils::modifyList(case$call, list(...)))

# A case of survival against mass (300 birds), with two more traits made from it.
demo <- function() {
  d <- read.table(file.path(cases_dir(), "reml_binomial_grid", "demo1.dat"), col.names = c("survived", "mass"))
  d$wing <- round(d$mass * 0.7 + sin(seq_len(nrow(d))), 2)
  d$tail <- round(cos(d$mass) * 3, 2)
  d
}
