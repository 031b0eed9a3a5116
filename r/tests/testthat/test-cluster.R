# fitness_many over a parallel cluster: each trait's analysis is its serial one, whatever node takes it.

test_that("over a PSOCK cluster each trait gets its serial numbers, progress as traits finish, refusals kept", {
  d <- demo()
  d$tail[5] <- NA  # another set of rows for this trait
  d$flat <- 1      # refused: one trait value
  for (i in 1:5) d[[paste0("noise", i)]] <- round(sin(d$mass * i) + i, 3)
  traits <- c("mass", "wing", "flat", "tail", paste0("noise", 1:5))
  scan <- function(...) suppressMessages(fitness_many(d, "survived", traits, bootstrap = 10, seed = 3, ...))
  expect_warning(serial <- scan(), "1 of 9 traits were refused \\(flat\\)")
  cl <- parallel::makePSOCKcluster(2)
  on.exit(parallel::stopCluster(cl))
  parallel::clusterCall(cl, .libPaths, .libPaths())  # the nodes load trov from where this session did
  expect_warning(expect_message(spread <- fitness_many(d, "survived", traits, bootstrap = 10, seed = 3, cl = cl,
                                                       progress = TRUE),
                                "trov: 9 of 9 traits done"), "1 of 9 traits were refused \\(flat\\)")
  numbers <- function(f) if (inherits(f, "trov_error")) conditionMessage(f) else f[setdiff(names(f), c("call", "settings"))]
  expect_identical(lapply(spread, numbers), lapply(serial, numbers))
  expect_identical(spread$mass$settings$workers, 1L)  # one thread a node unless workers says otherwise
  expect_identical(fitness_many(d, "survived", "mass", lnlambda = 1, cl = cl[1], workers = 2)$mass$settings$workers,
                   2L)
  expect_error(fitness_many(d, "survived", traits, cl = "two"), "cl must be a cluster", class = "trov_error")
  expect_error(fitness_many(d, "survived", traits, cl = cl, criterion = "aic"), "criterion must be one of",
               class = "trov_error")
})

test_that("plot() draws on the current device and returns the fit; autoplot() gives the same figure", {
  fit <- fitness(demo(), "survived", "mass", bootstrap = 10)
  grDevices::pdf(NULL)
  on.exit(grDevices::dev.off())
  expect_invisible(drawn <- plot(fit))
  expect_identical(drawn, fit)
  skip_if_not_installed("ggplot2")
  figure <- ggplot2::autoplot(fit)
  expect_s3_class(figure, "ggplot")
  expect_length(figure$layers, 4)  # points, fitted function, the band's two lines
})
