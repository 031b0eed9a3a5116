# Reference numbers for test_traits.py from R's mgcv, an independent fit of the same additive model
# (cubic regression splines, sum-to-zero constraints, REML): two traits, a categorical and a continuous
# covariate, survival 0/1. Run from this folder: Rscript mgcv_traits.R (writes mgcv_traits.csv, the
# data with mgcv's fitted values, and mgcv_traits.json, its edf and smoothing parameters).
library(mgcv)
set.seed(31)
n <- 300
a <- round(rnorm(n, 10, 2), 3)
b <- round(0.4 * (a - 10) + rnorm(n), 3)
site <- sample(c("north", "south", "west"), n, replace = TRUE)
age <- round(runif(n, 1, 5), 2)
eta <- -0.3 + 0.5 * (a - 10) - 0.25 * (a - 10)^2 + 0.4 * b + c(north = 0, south = 0.6, west = -0.4)[site] +
  0.2 * age
y <- rbinom(n, 1, plogis(eta))
d <- data.frame(a = a, b = b, site = site, age = age, y = y)
fit <- gam(y ~ s(a, bs = "cr", k = 20) + s(b, bs = "cr", k = 20) + factor(site) + age, method = "REML",
           family = binomial, data = d)
d$fitted <- sprintf("%.10g", fitted(fit))
write.csv(d, "mgcv_traits.csv", row.names = FALSE, quote = FALSE)
smooth_edf <- sapply(fit$smooth, function(s) sum(fit$edf[s$first.para:s$last.para]))
writeLines(sprintf('{"edf": %.10g, "smooth_edf": [%.10g, %.10g], "sp": [%.10g, %.10g]}', sum(fit$edf),
                   smooth_edf[1], smooth_edf[2], fit$sp[1], fit$sp[2]), "mgcv_traits.json")
