# The package's numbers are trov40's (its trov.json) to the last bit.

test_that("grids give trov40's scores, minima and recommended lambda (models, covariate, criterion)", {
  for (name in c("reml_binomial_grid", "reml_poisson_grid", "reml_normal_pooled_ml", "reml_covariate_category_grid")) {
    case <- golden_case(name)
    fit <- run_case(case, fit_recommended = FALSE)
    g <- case$expected$grid
    expect_identical(fit$grid[c("lnlambda", "classic_edf", "classic_gcv")], data.frame(
      lnlambda = g$lnlambda, classic_edf = g$trace, classic_gcv = g$gcv), label = name)
    for (score in c("edf", "gcv", "reml", "ml", "deviance"))
      expect_identical(fit$grid[[score]], g$converged_fit[[score]], label = paste(name, score))
    m <- case$expected$minimum
    for (criterion in fit$minima$criterion) {
      refined <- m[[paste0("converged_", criterion)]]$refined
      row <- fit$minima[fit$minima$criterion == criterion, ]
      expect_identical(c(row$lnlambda, row$score, row$edf), c(refined$lnlambda, refined$score, refined$edf),
                       label = paste(name, criterion))
    }
    expect_identical(fit$recommended[c("criterion", "lnlambda", "edf", "text")],
                     m$recommended[c("criterion", "lnlambda", "edf", "text")], label = name)
  }
  # the report of a grid without a fit is trov40's trov.json of that grid (its settings are the call's)
  report <- jsonlite::fromJSON(fit$report, simplifyVector = FALSE)
  expected <- jsonlite::fromJSON(file.path(cases_dir(), name, "expected.trov.json"), simplifyVector = FALSE)
  expect_identical(report[names(report) != "settings"], expected[names(expected) != "settings"])
})

test_that("the default analysis fits at the recommended lambda", {
  case <- golden_case("reml_binomial_grid")
  fit <- run_case(case)
  expect_identical(fit$lnlambda, case$expected$minimum$recommended$lnlambda)
  expect_match(capture.output(summary(fit)), case$expected$minimum$recommended$text, fixed = TRUE, all = FALSE)
})

test_that("a fixed lambda gives trov40's fitted points and gradients; predict() gives them at the data", {
  case <- golden_case("fit_binomial_grouped_fixed")
  fit <- run_case(case)
  f <- case$expected$fit
  expect_identical(fit$points[c("x", "y", "n")], transform(f$points[c("x", "y", "n")], n = as.double(n)))
  expect_identical(fit$points[c("fitted", "eta")],
                   data.frame(fitted = f$converged_points$yhat, eta = f$converged_points$nu))
  s <- case$expected$selection
  expect_identical(gradients(fit)[c("beta", "gamma", "beta_standardized", "gamma_standardized",
                                    "beta_mean_standardized", "gamma_mean_standardized"), "estimate"],
                   unlist(s[c("beta", "gamma", "beta_standardized", "gamma_standardized",
                              "beta_mean_standardized", "gamma_mean_standardized")], use.names = FALSE))
  expect_identical(predict(fit, case$data), fit$points$fitted[match(case$data$x, fit$points$x)])
  expect_identical(predict(fit, type = "link"), fit$points$eta[match(case$data$x, fit$points$x)])
  # between the points: the natural cubic spline through them, linear beyond the ends
  x <- fit$points$x
  at <- c(min(x) - 2, (x[1] + x[2]) / 2, max(x) + 3)
  expect_equal(predict(fit, at, type = "link"), stats::splinefun(x, fit$points$eta, method = "natural")(at),
               tolerance = 1e-12)
})

test_that("a bootstrap gives trov40's band and the gradients' spread", {
  case <- golden_case("boot_reselected_binomial")
  fit <- run_case(case)
  b <- case$expected$bootstrap
  expect_identical(fit$points[c("lower", "upper")], data.frame(lower = b$points$lower, upper = b$points$upper))
  expect_identical(fit$bootstrap$replicates, b$replicates)
  s <- case$expected$selection
  g <- gradients(fit)
  expect_identical(g[c("lande_arnold_beta", "lande_arnold_gamma"), "estimate"], unlist(s$lande_arnold, use.names = FALSE))
  spread <- do.call(rbind, lapply(s$bootstrap[c("beta", "gamma", "lande_arnold_beta")], unlist))
  expect_identical(as.matrix(g[c("beta", "gamma", "lande_arnold_beta"), c("se", "p", "lower", "upper")]), spread)
})
