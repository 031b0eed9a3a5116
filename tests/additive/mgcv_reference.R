# Reference numbers for tests/additive from R's mgcv, an independent implementation of the same
# additive model (cubic regression splines with values at the knots, sum-to-zero constraints, REML).
# Run from this folder: Rscript mgcv_reference.R (writes traits.csv, prints the numbers the test holds).
library(mgcv)
set.seed(20240607)
n <- 800
a <- round(rnorm(n), 4)
b <- round(0.5 * a + rnorm(n, sd = sqrt(0.75)), 4)
eta <- 0.2 + 0.6 * a - 0.4 * a^2 + 0.3 * b - 0.35 * a * b
y <- rbinom(n, 1, plogis(eta))
yn <- round(2 + eta + rnorm(n, sd = 0.5), 4)
d <- data.frame(a = a, b = b, y = y, yn = yn)

bin <- gam(y ~ s(a, bs = "cr", k = 20) + s(b, bs = "cr", k = 20), method = "REML", family = binomial, data = d)
nor <- gam(yn ~ s(a, bs = "cr", k = 20) + s(b, bs = "cr", k = 20), method = "REML", data = d)
fixed_sp <- c(0.5, 20)
fix <- gam(yn ~ s(a, bs = "cr", k = 20) + s(b, bs = "cr", k = 20), sp = fixed_sp, data = d)
d$fit_binomial <- sprintf("%.17g", fitted(bin))
d$fit_normal_fixed <- sprintf("%.17g", fitted(fix))
write.csv(d, "traits.csv", row.names = FALSE, quote = FALSE)

# the gradients of a fitted mean function, by central differences of predict
gradients <- function(fit) {
  h <- 1e-4
  at <- function(da, db) predict(fit, data.frame(a = d$a + da, b = d$b + db), type = "response")
  w <- at(0, 0)
  mw <- mean(w)
  beta <- c(mean(at(h, 0) - at(-h, 0)) / (2 * h), mean(at(0, h) - at(0, -h)) / (2 * h)) / mw
  gaa <- mean(at(h, 0) - 2 * w + at(-h, 0)) / h^2 / mw
  gbb <- mean(at(0, h) - 2 * w + at(0, -h)) / h^2 / mw
  gab <- mean(at(h, h) - at(h, -h) - at(-h, h) + at(-h, -h)) / (4 * h^2) / mw
  list(beta = beta, gamma = c(gaa, gab, gbb))
}
show <- function(name, x) cat(name, sprintf("%.10g", x), "\n")
for (m in list(list("binomial", bin), list("normal", nor))) {
  fit <- m[[2]]
  cat("==", m[[1]], "\n")
  show("sp", fit$sp)
  show("edf", sapply(split(fit$edf, c(0, rep(1, 19), rep(2, 19))), sum))
  show("reml", fit$gcv.ubre)
  g <- gradients(fit)
  show("beta", g$beta)
  show("gamma aa ab bb", g$gamma)
}
cat("== fixed sp", fixed_sp, "\n")
show("edf", sapply(split(fix$edf, c(0, rep(1, 19), rep(2, 19))), sum))

# Lande and Arnold's regressions of relative fitness on the standardized traits
za <- (d$a - mean(d$a)) / sd(d$a)
zb <- (d$b - mean(d$b)) / sd(d$b)
w <- d$y / mean(d$y)
show("lande-arnold beta", coef(lm(w ~ za + zb))[2:3])
q <- coef(lm(w ~ za + zb + I(za^2) + I(zb^2) + I(za * zb)))
show("lande-arnold gamma aa ab bb", c(2 * q[4], q[6], 2 * q[5]))

# The surface: surface.csv simulated with correlational selection (set.seed(36); a ~ N(0, 1),
# b = 0.3 a + N(0, 1), logit W = 0.2 + 0.6 a - 0.4 a^2 + 0.3 b - 0.35 a b, 800 cases), fitted by a
# tensor product of two cubic regression splines of 8 knots each
d <- read.csv("surface.csv")
surface <- gam(y ~ te(a, b, bs = "cr", k = 8), family = binomial, data = d, method = "REML")
cat("== surface\n")
show("edf", sum(surface$edf))
g <- gradients(surface)
show("beta", g$beta)
show("gamma aa ab bb", g$gamma)
