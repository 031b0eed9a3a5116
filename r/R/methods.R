# What a user does with a fit: print, summary, plot, predict, as.data.frame, gradients.

gradients <- function(object, ...) UseMethod("gradients")

has_fit <- function(fit) !is.null(fit$points)

# Why an analysis has no fit at one lambda, for a call that needs one.
need_fit <- function(fit, what) {
  if (has_fit(fit)) return(invisible())
  why <- if (!fit$settings$fit_recommended) {
    "this analysis is a grid only (fit_recommended = FALSE)"
  } else if (!any(fit$grid$converged_ok)) {
    paste("the converged fit failed at every ln(lambda) of the grid (as it does where a straight line",
          "separates the responses 0 from 1), so no lambda is recommended and none was fitted")
  } else {
    "the criterion found no lambda to recommend (see $warnings), so none was fitted"
  }
  stop(what, " needs a fit at one lambda: ", why, call. = FALSE)
}

# How ln(lambda) was chosen, in one line.
lambda_choice <- function(fit) {
  s <- fit$settings
  if (!is.null(s$lnlambda)) return(sprintf("ln(lambda) = %s, as given", format(s$lnlambda)))
  grid <- sprintf("a grid of %d ln(lambda) from %s to %s", s$grid_points, format(s$grid[1]), format(s$grid[2]))
  if (is.null(fit$recommended)) return(paste0(grid, ": no recommended lambda"))
  paste0(fit$recommended$text, ", over ", grid)
}

print.trov_fit <- function(x, digits = 4, ...) {
  v <- x$variables
  cat(sprintf("trov fit, %s model: %s against %s%s%s\n", x$settings$model, v[["y"]], v[["x"]],
              if (is.na(v[["n"]])) "" else paste0(", counts ", v[["n"]]),
              if (is.na(v[["covariate"]])) "" else paste0(", covariate ", v[["covariate"]])))
  cat(sprintf("%d cases, %s observations, %d points\n", x$cases, format(x$observations), x$n_points))
  cat(lambda_choice(x), "\n", sep = "")
  if (has_fit(x)) {
    cat(sprintf("fit at ln(lambda) = %s: %s parameters%s\n", format(x$lnlambda, digits = digits),
                format(x$edf, digits = digits), if (x$converged_ok) "" else " (the converged fit failed)"))
    if (!is.null(x$gradients))
      cat(sprintf("beta = %s, gamma = %s\n", format(x$gradients["beta", "estimate"], digits = digits),
                  format(x$gradients["gamma", "estimate"], digits = digits)))
    if (!is.null(x$peak)) cat(peak_words(x$peak, digits), "\n", sep = "")
  }
  if (length(x$warnings)) cat(sprintf("%d warnings of the engine: summary() shows them\n", length(x$warnings)))
  invisible(x)
}

`%||%` <- function(a, b) if (is.null(a)) b else a

summary.trov_fit <- function(object, ...) {
  structure(list(fit = object, choice = lambda_choice(object), gradients = object$gradients,
                 selection = object$selection, bootstrap = object$bootstrap), class = "summary.trov_fit")
}

print.summary.trov_fit <- function(x, digits = 4, ...) {
  print(x$fit, digits = digits)
  if (!is.null(x$gradients)) {
    s <- x$selection
    cat(sprintf("\nselection gradients (mean fitness %s; trait mean %s, sd %s)%s:\n",
                format(s$mean_fitness, digits = digits), format(s$trait_mean, digits = digits),
                format(s$trait_sd, digits = digits),
                if (is.null(x$bootstrap)) ", without a bootstrap" else
                  sprintf(", bootstrap of %d replicates", x$bootstrap$replicates)))
    print(x$gradients, digits = digits)
    if (isTRUE(s$linear_limit))
      cat("gamma reflects the link alone: the fit is a straight line on the link scale (no curvature was",
          "found), so it has no P; report beta\n")
  }
  if (is.finite(x$fit$dispersion %||% NA_real_))
    cat(sprintf("Pearson dispersion %s%s\n", format(x$fit$dispersion, digits = digits),
                if (x$fit$dispersion > 1.5) ": overdispersed; bootstrap the cases (bootstrap_type = \"cases\")" else ""))
  if (length(x$fit$warnings)) cat("\nwarnings of the engine:", paste0("\n  ", x$fit$warnings), "\n")
  invisible(x)
}

gradients.trov_fit <- function(object, ...) {
  need_fit(object, "gradients")
  if (is.null(object$gradients)) stop("the converged fit failed: no gradients", call. = FALSE)
  object$gradients
}

as.data.frame.trov_fit <- function(x, row.names = NULL, optional = FALSE, what = c("points", "grid"), ...) {
  what <- one_of(what, c("points", "grid"), "what")
  if (what == "grid") return(x$grid)
  need_fit(x, "the fitted points")
  x$points
}

# The fitted function at new trait values, the library's predict: the natural cubic spline s through the
# converged fit's linear predictor at the points (the spline the gradients are taken from), then the mean
# as the converged fit computes it, so that at the data's trait values it gives the fitted values
# themselves, and at infinite ones its limit. With a covariate, eta = s(x) + its effect at each value.
predict.trov_fit <- function(object, newdata, type = c("response", "link"), ...) {
  type <- one_of(type, c("response", "link"), "type")
  need_fit(object, "predict")
  if (!object$converged_ok) stop("the converged fit failed: there is no fitted function", call. = FALSE)
  v <- object$variables
  with_covariate <- !is.na(v[["covariate"]])
  if (missing(newdata)) {
    at <- object$cases_used$x
    covariate <- object$cases_used$covariate  # as the engine took it (a factor as its codes)
  } else if (is.data.frame(newdata)) {
    at <- newdata[[v[["x"]]]]
    covariate <- if (with_covariate) newdata[[v[["covariate"]]]]
    if (with_covariate && is.null(covariate))
      refuse("newdata needs the covariate's column '", v[["covariate"]], "'", code = 2L)
    if (with_covariate) covariate <- engine_covariate(object, covariate)
  } else {
    at <- newdata
    if (with_covariate) refuse("newdata must be a data frame with the trait and the covariate", code = 2L)
  }
  if (!is.numeric(at))
    refuse("newdata must be trait values, or a data frame with the column '", v[["x"]], "'", code = 2L)
  p <- object$points
  # the library's predict; a categorical covariate's coefficients are its level effects (new_trov_fit)
  b <- unname(as.double(object$coefficients))
  levels <- as.double(object$level_values %||% numeric(0))
  predicted <- predict_r(object$settings$model, p$x, p$covariate, p$n, p$eta, b, levels,
                         if (length(levels)) b else numeric(0), as.double(at),
                         if (with_covariate) as.double(covariate) else numeric(0))
  if (type == "link") predicted$eta else predicted$mean
}

# newdata's covariate as the engine takes it: a continuous one as numbers; a categorical one's levels (the
# factor's labels, or the values) as the fit's, a level the fit does not know refused.
engine_covariate <- function(fit, covariate) {
  if (!fit$settings$categorical) {
    if (!is.numeric(covariate)) refuse("newdata's covariate must be numeric, as the fit's was", code = 2L)
    return(as.double(covariate))
  }
  known <- names(fit$coefficients)
  given <- if (is.null(fit$levels)) covariate else as.character(covariate)
  values <- fit$level_values[if (is.null(fit$levels)) match(given, fit$level_values) else match(given, known)]
  unknown <- unique(given[!is.na(given) & is.na(values)])
  if (length(unknown))
    refuse("newdata's covariate holds ", paste0("'", utils::head(unknown, 5), "'", collapse = ", "),
           ", not a level of the fit (its levels: ", paste0("'", known, "'", collapse = ", "), ")", code = 2L)
  values
}

# What a figure of a fit shows: the points (Y the mean of their cases; the symbol's area grows with N),
# and without a covariate the fitted function and the bootstrap band of one standard error along the
# points; with one, each point's fitted value, its covariate's effect included, and its band.
figure_parts <- function(fit) {
  need_fit(fit, "plot")
  p <- fit$points
  parts <- list(points = p[c("x", "y", "n")], size = if (all(p$n == p$n[1])) NULL else sqrt(p$n / max(p$n)),
                band = if (!is.null(fit$bootstrap)) p[c("x", "lower", "upper")])
  if (is.na(fit$variables[["covariate"]])) {
    at <- seq(min(p$x), max(p$x), length.out = 400)
    parts$curve <- data.frame(x = at, fitted = predict(fit, at))
  } else {
    parts$fitted <- p[c("x", "fitted")]
  }
  parts
}

plot.trov_fit <- function(x, xlab = x$variables[["x"]], ylab = x$variables[["y"]], cex = NULL, ...) {
  parts <- figure_parts(x)
  if (is.null(cex)) cex <- if (is.null(parts$size)) 1 else 0.5 + 1.5 * parts$size
  plot(parts$points$x, parts$points$y, xlab = xlab, ylab = ylab, cex = cex, ...)
  if (!is.null(parts$curve)) {
    lines(parts$curve$x, parts$curve$fitted, lwd = 2)
    if (!is.null(parts$band)) {
      lines(parts$band$x, parts$band$lower, lty = 2)
      lines(parts$band$x, parts$band$upper, lty = 2)
    }
  } else {
    points(parts$fitted$x, parts$fitted$fitted, pch = 3)
    if (!is.null(parts$band)) segments(parts$band$x, parts$band$lower, parts$band$x, parts$band$upper)
  }
  invisible(x)
}

# The same figure as a ggplot (registered as ggplot2's autoplot method where ggplot2 is installed).
autoplot.trov_fit <- function(object, xlab = object$variables[["x"]], ylab = object$variables[["y"]], ...) {
  if (!requireNamespace("ggplot2", quietly = TRUE)) stop("autoplot needs the package ggplot2", call. = FALSE)
  parts <- figure_parts(object)
  aes <- ggplot2::aes
  .data <- ggplot2::.data  # the columns of each layer's data, by name
  points <- transform(parts$points, size = 1.5 * (if (is.null(parts$size)) 1 else 0.5 + 1.5 * parts$size))
  figure <- ggplot2::ggplot(points, aes(.data$x, .data$y)) +
    ggplot2::geom_point(aes(size = .data$size), shape = 1) +
    ggplot2::scale_size_identity() + ggplot2::labs(x = xlab, y = ylab)
  if (!is.null(parts$curve)) {
    figure <- figure + ggplot2::geom_line(aes(.data$x, .data$fitted), data = parts$curve, linewidth = 1)
    if (!is.null(parts$band))
      figure <- figure + ggplot2::geom_line(aes(.data$x, .data$lower), data = parts$band, linetype = 2) +
        ggplot2::geom_line(aes(.data$x, .data$upper), data = parts$band, linetype = 2)
  } else {
    figure <- figure + ggplot2::geom_point(aes(.data$x, .data$fitted), data = parts$fitted, shape = 3)
    if (!is.null(parts$band))
      figure <- figure + ggplot2::geom_segment(aes(.data$x, .data$lower, xend = .data$x, yend = .data$upper),
                                               data = parts$band)
  }
  figure
}

# fitness_many: one row per trait, NA where its analysis was refused (the error column says why).
gradients.trov_many <- function(object, which = c("beta", "gamma", "beta_standardized", "gamma_standardized"), ...) {
  known <- c("beta", "gamma", "beta_standardized", "gamma_standardized", "beta_mean_standardized",
             "gamma_mean_standardized", "lande_arnold_beta", "lande_arnold_gamma")
  if (!is.character(which) || !length(which) || !all(which %in% known))
    refuse("which must name gradients among ", paste0("\"", known, "\"", collapse = ", "))
  columns <- c("lnlambda", "edf", outer(c("", "_se", "_p", "_lower", "_upper"), which, function(s, w) paste0(w, s)))
  values <- vapply(object, function(f) {
    if (inherits(f, "trov_error") || is.null(f$gradients)) {
      return(c(if (is.null(f$lnlambda)) NA else f$lnlambda, if (is.null(f$edf)) NA else f$edf,
               rep(NA_real_, 5 * length(which))))
    }
    c(f$lnlambda, f$edf, t(as.matrix(f$gradients[which, c("estimate", "se", "p", "lower", "upper")])))
  }, numeric(length(columns)))
  frame <- as.data.frame(matrix(values, ncol = length(columns), byrow = TRUE, dimnames = list(NULL, columns)))
  error <- vapply(object, function(f) if (inherits(f, "trov_error")) conditionMessage(f) else NA_character_, "")
  cbind(trait = names(object), frame, error = unname(error))
}

as.data.frame.trov_many <- function(x, row.names = NULL, optional = FALSE, ...) gradients(x, ...)

print.trov_many <- function(x, digits = 4, ...) {
  cat(sprintf("trov fits of %d traits\n", length(x)))
  g <- gradients(x, which = c("beta", "gamma"))
  print(g[c("trait", "lnlambda", "edf", "beta", "gamma")], digits = digits)
  invisible(x)
}
