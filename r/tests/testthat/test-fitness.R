# The R side: data frames in, missing values, errors, and many traits at once.

demo <- function() {
  d <- read.table(file.path(cases_dir(), "reml_binomial_grid", "demo1.dat"), col.names = c("survived", "mass"))
  d$wing <- round(d$mass * 0.7 + sin(seq_len(nrow(d))), 2)
  d$tail <- round(cos(d$mass) * 3, 2)
  d
}

test_that("rows with missing values are left out, with a message, as if they were not there", {
  d <- demo()
  d$mass[c(3, 9)] <- NA
  d$survived[20] <- NA
  expect_message(fit <- fitness(d, "survived", "mass", lnlambda = 1), "3 of 300 rows left out")
  expect_identical(fit$points, fitness(d[-c(3, 9, 20), ], "survived", "mass", lnlambda = 1)$points)
})

test_that("a refusal of the library is an R error with its code; R-side mistakes are plain errors", {
  d <- demo()
  e <- tryCatch(fitness(d[1:3, ], "survived", "mass"), trov_error = identity)
  expect_identical(e$code, 7L)
  expect_match(conditionMessage(e), "trov error 7")
  expect_error(fitness(d, "survived", "mass", grid = c(5, -5)), class = "trov_error")
  expect_error(fitness(d, "survived", "mass", grid_points = 2.5), "whole number")
  expect_error(fitness(d, "survived", "mass", bootstrp = 10), "unknown setting 'bootstrp'")
  expect_error(fitness(d, "survived", "weight"), "no column 'weight'")
})

test_that("fitness_many gives each trait the numbers of its own fitness() call", {
  d <- demo()
  d$tail[5] <- NA  # another set of rows for this trait
  traits <- c("mass", "wing", "tail")
  many <- suppressMessages(fitness_many(d, "survived", traits, bootstrap = 20, seed = 7))
  for (trait in traits) {
    one <- suppressMessages(fitness(d, "survived", trait, bootstrap = 20, seed = 7))
    expect_identical(many[[trait]][c("grid", "recommended", "points", "gradients")],
                     one[c("grid", "recommended", "points", "gradients")], label = trait)
  }
  table <- gradients(many)
  expect_identical(table$trait, traits)
  expect_identical(table$beta_se, vapply(traits, function(t) gradients(many[[t]])["beta", "se"], 0, USE.NAMES = FALSE))
})

test_that("predict() with a covariate adds its effect (continuous; categorical, from a factor)", {
  d <- read.table(file.path(cases_dir(), "..", "..", "examples", "covariate.dat"), col.names = c("y", "x", "c"))
  d$group <- factor(c("b", "a")[d$c])
  for (covariate in c("c", "group")) {
    fit <- fitness(d, "y", "x", covariate = covariate, lnlambda = 1)
    taken <- as.numeric(d[[covariate]])  # the factor as its codes, as the engine takes it
    at_points <- fit$points$fitted[match(paste(d$x, taken), paste(fit$points$x, fit$points$covariate))]
    expect_equal(predict(fit, d), at_points, tolerance = 1e-13, label = covariate)
  }
})

test_that("the results survive R's garbage collector running at every allocation", {
  d <- read.table(file.path(cases_dir(), "fit_binomial_grouped_fixed", "data.dat"), col.names = c("y", "x", "n"))
  settings <- list(grid_points = 3, bootstrap = 2)  # every part of the results: grid, recommended, fit
  calm <- trov:::analyse_r(d$x, d$y, d$n, numeric(0), settings)
  gctorture(TRUE)
  tortured <- trov:::analyse_r(d$x, d$y, d$n, numeric(0), settings)
  gctorture(FALSE)
  expect_identical(tortured, calm)
})
