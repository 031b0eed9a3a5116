# Several traits at once: the additive fit against mgcv's, the gradients against finite differences of
# mgcv's fitted function and against the regressions of Lande and Arnold; covariates, missing values and
# refusals.

two_traits <- function(cases = 1000) {
  set.seed(11)
  d <- data.frame(a = rnorm(cases), b = rnorm(cases, 10, 2))
  d$y <- rbinom(cases, 1, plogis(0.3 + d$a - 0.6 * d$a^2 + 0.25 * (d$b - 10)))
  d
}

test_that("an additive fit of two traits is mgcv's, and its gradients those of mgcv's fitted function", {
  skip_if_not_installed("mgcv")
  d <- two_traits()
  fit <- fitness(d, "y", c("a", "b"))
  expect_s3_class(fit, "trov_traits")
  gam <- mgcv::gam(y ~ s(a, bs = "cr", k = 20) + s(b, bs = "cr", k = 20), family = binomial, data = d,
                   method = "REML")
  expect_equal(fit$edf, sum(gam$edf), tolerance = 0.05)
  expect_lt(max(abs(fit$fitted - fitted(gam))), 1e-3)
  expect_equal(predict(fit, d), fit$fitted, tolerance = 1e-12)
  expect_equal(predict(fit, d, type = "link"), fit$eta, tolerance = 1e-12)
  # Morrissey & Sakrejda: the mean over the individuals of the fitted function's derivatives, over mean fitness
  w <- function(da = 0, db = 0) predict(gam, transform(d, a = a + da, b = b + db), type = "response")
  h <- 1e-3
  mean_w <- mean(fitted(gam))
  beta <- c(mean(w(h, 0) - w(-h, 0)), mean(w(0, h) - w(0, -h))) / (2 * h * mean_w)
  gamma <- c(aa = mean(w(h, 0) - 2 * w() + w(-h, 0)) / h^2,
             ab = mean(w(h, h) - w(h, -h) - w(-h, h) + w(-h, -h)) / (4 * h^2),
             bb = mean(w(0, h) - 2 * w() + w(0, -h)) / h^2) / mean_w
  g <- gradients(fit)
  expect_identical(rownames(g)[1:5], c("beta[a]", "beta[b]", "gamma[a,a]", "gamma[a,b]", "gamma[b,b]"))
  expect_identical(rownames(g), c(rbind(c("beta", "beta_standardized", "beta_mean_standardized", "lande_arnold_beta"),
                                        c("gamma", "gamma_standardized", "gamma_mean_standardized",
                                          "lande_arnold_gamma")) |>
                                    apply(2, function(f) c(paste0(f[1], c("[a]", "[b]")),
                                                           paste0(f[2], c("[a,a]", "[a,b]", "[b,b]"))))))
  expect_equal(g[c("beta[a]", "beta[b]"), "estimate"], beta, tolerance = 0.03)
  expect_equal(g[c("gamma[a,a]", "gamma[a,b]", "gamma[b,b]"), "estimate"], unname(gamma), tolerance = 0.08)
})

test_that("the Lande-Arnold rows are the regressions of relative fitness on the standardized traits", {
  d <- two_traits(300)
  g <- gradients(fitness(d, "y", c("a", "b"), lnlambda = 2))
  z <- data.frame(w = d$y / mean(d$y), za = (d$a - mean(d$a)) / sd(d$a), zb = (d$b - mean(d$b)) / sd(d$b))
  linear <- coef(lm(w ~ za + zb, data = z))
  quadratic <- coef(lm(w ~ za + zb + I(za^2 / 2) + I(zb^2 / 2) + za:zb, data = z))
  expect_equal(g[c("lande_arnold_beta[a]", "lande_arnold_beta[b]"), "estimate"], unname(linear[2:3]), tolerance = 1e-8)
  expect_equal(g[c("lande_arnold_gamma[a,a]", "lande_arnold_gamma[a,b]", "lande_arnold_gamma[b,b]"), "estimate"],
               unname(quadratic[c(4, 6, 5)]), tolerance = 1e-8)
})

test_that("covariates of every kind, missing values left out, predict's levels", {
  d <- two_traits(400)
  d$site <- rep(c("west", "east", "north", "south"), 100)
  d$year <- rep(c(2001, 2002), each = 200)
  d$warm <- d$b > 10
  d$a[7] <- NA
  d$site[9] <- NA
  expect_message(fit <- fitness(d, "y", c("a", "b"), covariate = c("site", "year", "warm"), lnlambda = 1,
                                categorical = "year"), "2 of 400 rows left out for missing values")
  expect_identical(names(fit$coefficients),
                   c("site[north]", "site[south]", "site[west]", "year[2002]", "warm[TRUE]"))
  complete <- fitness(d[-c(7, 9), ], "y", c("a", "b"), covariate = c("site", "year", "warm"), lnlambda = 1,
                      categorical = "year")
  expect_identical(complete$fitted, fit$fitted)
  expect_equal(predict(fit, fit$cases_used), fit$fitted, tolerance = 1e-12)
  expect_identical(as.data.frame(fit)$fitted, fit$fitted)
  expect_named(as.data.frame(fit, what = "curves"), c("trait", "x", "fitted", "lower", "upper"))
  expect_error(predict(fit, data.frame(a = 0, b = 10, site = "up", year = 2001, warm = TRUE)),
               "'site' holds 'up', not a level of the fit \\(its levels: 'east', 'north', 'south', 'west'\\)",
               class = "trov_error")
  expect_error(predict(fit, data.frame(a = 0, b = 10)), "needs the columns 'site', 'year', 'warm'", class = "trov_error")
})

test_that("several traits refuse what they cannot take, clearly", {
  d <- two_traits(100)
  d$c <- d$a + d$b
  expect_error(fitness(d, "y", c("a", "weight")), "no column 'weight' in data", class = "trov_error")
  expect_error(fitness(d, "y", c("a", "b", "c"), surface = TRUE), "a surface takes exactly two traits",
               class = "trov_error")
  expect_error(fitness(d, "y", c("a", "b"), criterion = "gcv"), "criterion must be reml", class = "trov_error")
  expect_error(fitness(d, "y", c("a", "b"), grid = c(-5, 5)), "grid does not apply to several traits",
               class = "trov_error")
  expect_error(fitness(d, "y", c("a", "b"), knots = 3), "knots must be 4 to 1000", class = "trov_error")
})
