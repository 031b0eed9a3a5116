# The R side: data frames in, missing values, errors, and many traits at once.

test_that("rows with missing values are left out, with a message, as if they were not there", {
  d <- demo()
  d$mass[c(3, 9)] <- NA
  d$survived[20] <- NA
  expect_message(fit <- fitness(d, "survived", "mass", lnlambda = 1), "3 of 300 rows left out")
  expect_identical(fit$points, fitness(d[-c(3, 9, 20), ], "survived", "mass", lnlambda = 1)$points)
})

test_that("refusals, the library's and the package's own, are trov_errors that name what is allowed", {
  d <- demo()
  e <- tryCatch(fitness(d[1:3, ], "survived", "mass"), trov_error = identity)
  expect_identical(e$code, 7L)
  expect_match(conditionMessage(e), "trov error 7")
  expect_error(fitness(d, "survived", "mass", grid = c(5, -5)), class = "trov_error")
  expect_error(fitness(d, "survived", "mass", grid_points = 2.5), "whole number", class = "trov_error")
  expect_error(fitness(d, "survived", "mass", bootstrp = 10), "unknown setting 'bootstrp'", class = "trov_error")
  expect_error(fitness(d, "survived", "mass", model = "nromal"), '"normal", "binomial", "poisson"',
               class = "trov_error")
  e <- tryCatch(fitness(d, "survived", "weight"), trov_error = identity)
  expect_identical(conditionMessage(e),
                   "no column 'weight' in data; its columns are 'survived', 'mass', 'wing', 'tail'")
  expect_identical(deparse(conditionCall(e)), 'fitness(d, "survived", "weight")')
  expect_error(predict(fitness(d, "survived", "mass", lnlambda = 1), type = "mean"), '"response", "link"',
               class = "trov_error")
  # workers: a whole number from 0, more than the processors capped to them
  for (workers in list(-1, 1.5, NA, NA_real_, Inf, "2", TRUE))
    expect_error(fitness(d, "survived", "mass", lnlambda = 1, workers = workers), "^workers must be",
                 class = "trov_error", label = format(workers))
  expect_identical(fitness(d, "survived", "mass", lnlambda = 1, workers = 2^31 - 1)$settings$workers,
                   fitness(d, "survived", "mass", lnlambda = 1, workers = 0)$settings$workers)
})

test_that("a response of words or a factor is 0/1 by the import's rules; a word covariate is categorical", {
  data(Pima.tr, package = "MASS")  # type: a factor of levels No, Yes
  as_number <- transform(Pima.tr, type = as.numeric(type == "Yes"))
  expected <- fitness(as_number, "type", "glu", lnlambda = 3)$points
  words <- transform(Pima.tr, lower = tolower(type), status = ifelse(type == "Yes", "ill", "well"),
                     truth = type == "Yes")
  expect_identical(fitness(Pima.tr, "type", "glu", lnlambda = 3)$points, expected)
  expect_identical(fitness(words, "lower", "glu", lnlambda = 3)$points, expected)
  expect_identical(fitness(words, "truth", "glu", lnlambda = 3)$points, expected)
  expect_identical(fitness(words, "status", "glu", lnlambda = 3, one = "ill")$points, expected)
  expect_error(fitness(words, "status", "glu"), "holds the words 'well', 'ill': say which", class = "trov_error")
  expect_error(fitness(words, "status", "glu", one = "dead"), "does not hold the word 'dead'", class = "trov_error")
  words$status[3] <- "gone"
  expect_error(fitness(words, "status", "glu", one = "ill"), "more than two words", class = "trov_error")
  words$lower[3] <- NA
  expect_error(fitness(words, "lower", "glu"), "words and missing values \\(rows 3\\)", class = "trov_error")
  expect_error(fitness(Pima.tr, "npreg", "glu", one = "Yes"), "holds numbers", class = "trov_error")
  words$group <- ifelse(Pima.tr$age > 30, "older", "younger")
  expect_identical(names(fitness(words, "type", "glu", covariate = "group", lnlambda = 3)$coefficients),
                   c("older", "younger"))
})

test_that("a categorical covariate's coefficients are its levels' effects relative to its first level, as glm's", {
  data(birthwt, package = "MASS")
  birthwt$race <- factor(birthwt$race, labels = c("white", "black", "other"))
  # at a very large lambda the spline is a line: bwt ~ lwt + race
  fit <- fitness(birthwt, "bwt", "lwt", covariate = "race", model = "normal", lnlambda = 30)
  g <- coef(glm(bwt ~ lwt + race, data = birthwt))
  expect_identical(names(fit$coefficients), c("white", "black", "other"))
  expect_equal(fit$coefficients, c(white = 0, black = g[["raceblack"]], other = g[["raceother"]]), tolerance = 1e-6)
  expect_equal(predict(fit, birthwt[1:20, ]), unname(fitted(glm(bwt ~ lwt + race, data = birthwt))[1:20]),
               tolerance = 1e-6)
  expect_error(predict(fit, data.frame(lwt = 100, race = "asian")),
               "'asian', not a level of the fit \\(its levels: 'white', 'black', 'other'\\)", class = "trov_error")
  # at infinite trait values: the limits of the fitted function
  low <- fitness(birthwt, "low", "lwt", covariate = "race", lnlambda = 5)
  far <- predict(low, data.frame(lwt = c(-1e9, 1e9), race = "black"), type = "link")
  expect_identical(predict(low, data.frame(lwt = c(-Inf, Inf, NA), race = "black")), c(as.numeric(far > 0), NA))
  visits <- fitness(birthwt, "ftv", "lwt", model = "poisson", lnlambda = 5)
  expect_identical(predict(visits, c(-Inf, Inf)), ifelse(predict(visits, c(-1e9, 1e9), type = "link") > 0, Inf, 0))
})

test_that("an analysis without a fit at one lambda says why", {
  separated <- data.frame(x = 1:20, y = as.numeric(1:20 > 10))
  fit <- suppressWarnings(fitness(separated, "y", "x"))
  expect_error(predict(fit, 3), "failed at every ln\\(lambda\\) of the grid .* straight line separates")
  expect_error(gradients(fitness(demo(), "survived", "mass", fit_recommended = FALSE)),
               "this analysis is a grid only \\(fit_recommended = FALSE\\)")
})

test_that("Ctrl-C ends an analysis promptly with R's interrupt, which tryCatch(error = ) does not catch", {
  d <- demo()
  # a forked R sends the signal (a shell started by system() does not reach R reliably)
  parent <- Sys.getpid()
  parallel::mcparallel({
    Sys.sleep(1)
    tools::pskill(parent, tools::SIGINT)
  })
  started <- Sys.time()
  caught <- tryCatch(fitness(d, "survived", "mass", bootstrap = 100000, bootstrap_lambda = "reselected"),
                     interrupt = function(condition) "interrupt", error = function(e) "error")
  expect_identical(caught, "interrupt")
  expect_lt(as.numeric(Sys.time() - started, units = "secs"), 2.5)
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
  # a refused trait: its element holds the error, or with errors = "raise" the call raises it
  d$flat <- 1
  expect_warning(many <- fitness_many(d, "survived", c("mass", "flat"), lnlambda = 1), "1 of 2 traits were refused")
  expect_s3_class(many$flat, "trov_error")
  expect_error(fitness_many(d, "survived", c("mass", "flat"), lnlambda = 1, errors = "raise"), class = "trov_error")
  none <- fitness_many(d, "survived", character(0))
  expect_length(none, 0)
  expect_identical(nrow(gradients(none)), 0L)
})

test_that("predict() with a covariate adds its effect (continuous; categorical, from a factor)", {
  d <- read.table(file.path(repository_dir(), "examples", "covariate.dat"), col.names = c("y", "x", "c"))
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
