# What a user does with a fit of several traits: print, summary, gradients, predict, as.data.frame, plot.

shape_words <- function(fit) if (fit$settings$surface) "surface" else "additive"

print.trov_traits <- function(x, digits = 4, ...) {
  v <- x$variables
  cat(sprintf("trov fit of %d traits (%s), %s model: %s against %s%s%s\n", length(v$x), shape_words(x),
              x$settings$model, v$y, paste(v$x, collapse = ", "),
              if (is.null(v$n)) "" else paste0(", counts ", v$n),
              if (is.null(v$covariate)) "" else paste0(", covariates ", paste(v$covariate, collapse = ", "))))
  cat(sprintf("%d cases, %s observations; %s: %s parameters in all\n", x$cases, format(x$observations),
              if (is.null(x$settings$lnlambda)) sprintf("REML chose the lambdas in %d steps", x$reml_iterations)
              else sprintf("ln(lambda) = %s, as given", format(x$settings$lnlambda)),
              format(x$edf, digits = digits)))
  cat("ln(lambda):", named_numbers(x$lnlambda, digits), "\n")
  cat("beta:", named_numbers(setNames(x$gradients[paste0("beta[", v$x, "]"), "estimate"], v$x), digits), "\n")
  cat(peak_words(x$peak, digits), "\n", sep = "")
  if (length(x$warnings)) cat(sprintf("%d warnings of the engine: summary() shows them\n", length(x$warnings)))
  invisible(x)
}

named_numbers <- function(v, digits) {
  paste0(names(v), " ", vapply(v, format, "", digits = digits), collapse = ", ")
}

peak_words <- function(peak, digits) {
  if (!isTRUE(peak$inside)) return("peak: none inside the data")
  sprintf("peak inside the data at %s, fitness %s",
          named_numbers(setNames(peak$location$estimate, rownames(peak$location)), digits),
          format(peak$height[["estimate"]], digits = digits))
}

summary.trov_traits <- function(object, ...) structure(list(fit = object), class = "summary.trov_traits")

print.summary.trov_traits <- function(x, digits = 4, ...) {
  fit <- x$fit
  print(fit, digits = digits)
  if (length(fit$smooths)) {
    cat("\nsmooths:\n")
    print(data.frame(edf = vapply(fit$smooths, `[[`, 0, "edf"), lnlambda = fit$lnlambda,
                     linear = vapply(fit$smooths, `[[`, NA, "linear")), digits = digits)
  }
  if (length(fit$coefficients)) {
    cat("\ncovariates' coefficients (intercept ", format(fit$intercept, digits = digits), "):\n", sep = "")
    print(fit$coefficients, digits = digits)
  }
  s <- fit$selection
  cat(sprintf("\nselection gradients (mean fitness %s)%s:\n", format(s$mean_fitness, digits = digits),
              if (is.null(fit$bootstrap)) ", without a bootstrap"
              else sprintf(", bootstrap of %d replicates", fit$bootstrap$replicates)))
  print(fit$gradients, digits = digits)
  if (isTRUE(fit$peak$inside)) {
    cat("\npeak:\n")
    print(rbind(fit$peak$location[c("estimate", "se", "lower", "upper")],
                fitness = fit$peak$height[c("estimate", "se", "lower", "upper")]), digits = digits)
  }
  if (length(fit$warnings)) cat("\nwarnings of the engine:", paste0("\n  ", fit$warnings), "\n")
  invisible(x)
}

gradients.trov_traits <- function(object, ...) object$gradients

as.data.frame.trov_traits <- function(x, row.names = NULL, optional = FALSE,
                                      what = c("cases", "curves", "surface"), ...) {
  what <- one_of(what, c("cases", "curves", "surface"), "what")
  if (what == "cases") return(cbind(x$cases_used, fitted = x$fitted, eta = x$eta))
  if (what == "surface") {
    if (is.null(x$surface)) stop("this fit is additive: it has no surface (surface = TRUE fits one)", call. = FALSE)
    return(x$surface$grid)
  }
  if (x$settings$surface) stop("a surface has no curve per trait: what = \"surface\" gives its grid", call. = FALSE)
  curves <- do.call(rbind, lapply(x$smooths, function(s) data.frame(trait = rep(s$name, nrow(s$curve)), s$curve)))
  rownames(curves) <- NULL
  curves
}

# The fitted function at new trait values: the intercept, each trait's smooth (the natural cubic spline
# through its knot values, linear beyond the end knots) and each covariate's effect, on the link scale,
# then through the inverse link. At the cases it gives the fitted values.
predict.trov_traits <- function(object, newdata, type = c("response", "link"), ...) {
  type <- one_of(type, c("response", "link"), "type")
  if (missing(newdata)) return(if (type == "link") object$eta else object$fitted)
  if (object$settings$surface)
    stop("predict takes additive fits only: the library gives a surface's values on its grid (fit$surface)",
         call. = FALSE)
  if (!is.data.frame(newdata)) refuse("newdata must be a data frame with the traits' columns", code = 2L)
  needed <- c(object$variables$x, object$variables$covariate)
  absent <- setdiff(needed, names(newdata))
  if (length(absent)) refuse("newdata needs the columns ", paste0("'", absent, "'", collapse = ", "), code = 2L)
  eta <- rep(object$intercept, nrow(newdata))
  for (s in object$smooths) {
    at <- newdata[[s$name]]
    if (!is.numeric(at)) refuse("newdata's column '", s$name, "' must be numeric", code = 2L)
    eta <- eta + smooth_at_r(s$knots, s$knot_values, as.double(at))
  }
  blocks <- covariate_blocks(object$covariates)
  for (i in seq_along(object$covariates))
    eta <- eta + covariate_effect(object$covariates[[i]], object$coefficients[blocks[[i]]], newdata)
  if (type == "link") eta else mean_at(eta, object$settings$model)
}

# A covariate's effect on the linear predictor at newdata's values: a continuous one's coefficient times
# the value; a categorical one's level effect (0 for its first level), a level the fit does not know refused.
covariate_effect <- function(covariate, coefficients, newdata) {
  v <- newdata[[covariate$name]]
  if (!covariate$categorical) {
    if (!is.numeric(v) && !is.logical(v))
      refuse("newdata's covariate '", covariate$name, "' must be numeric, as the fit's was", code = 2L)
    return(unname(coefficients) * as.double(v))
  }
  level <- if (is.null(covariate$levels)) match(v, covariate$level_values)
           else match(as.character(v), covariate$level_labels)
  unknown <- unique(v[!is.na(v) & is.na(level)])
  if (length(unknown))
    refuse("newdata's covariate '", covariate$name, "' holds ", paste0("'", utils::head(unknown, 5), "'", collapse = ", "),
           ", not a level of the fit (its levels: ", paste0("'", covariate$level_labels, "'", collapse = ", "), ")",
           code = 2L)
  c(0, unname(coefficients))[level]
}

mean_at <- function(eta, model) {
  switch(model, normal = eta, binomial = stats::plogis(eta), poisson = exp(eta))
}

# What a figure of several traits shows: per trait its curve with its band (additive), or the surface's
# grid with the individuals and the peak.
traits_figure_parts <- function(fit) {
  if (fit$settings$surface) {
    if (is.null(fit$surface$fitted)) stop("plot needs the surface's grid, which this fit lacks", call. = FALSE)
    peak <- if (isTRUE(fit$peak$inside)) fit$peak$location$estimate
    return(list(surface = fit$surface, points = fit$cases_used[fit$variables$x], peak = peak))
  }
  curves <- as.data.frame(fit, what = "curves")
  if (is.null(curves) || !nrow(curves)) stop("plot needs the smooths' curves, which this fit lacks", call. = FALSE)
  list(curves = curves)
}

plot.trov_traits <- function(x, ylab = x$variables$y, ...) {
  parts <- traits_figure_parts(x)
  if (!is.null(parts$surface)) {
    s <- parts$surface
    graphics::contour(s$grid_a, s$grid_b, s$fitted, xlab = s$names[1], ylab = s$names[2], ...)
    points(parts$points[[1]], parts$points[[2]], pch = 20, cex = 0.5, col = "grey40")
    if (!is.null(parts$peak)) points(parts$peak[1], parts$peak[2], pch = 4, cex = 2, lwd = 2)
    return(invisible(x))
  }
  traits <- unique(parts$curves$trait)
  old <- graphics::par(mfrow = c(1, length(traits)))
  on.exit(graphics::par(old))
  for (t in traits) {
    curve <- parts$curves[parts$curves$trait == t, ]
    plot(curve$x, curve$fitted, type = "l", lwd = 2, xlab = t, ylab = ylab,
         ylim = range(curve[c("fitted", "lower", "upper")], finite = TRUE), ...)
    lines(curve$x, curve$lower, lty = 2)
    lines(curve$x, curve$upper, lty = 2)
  }
  invisible(x)
}

autoplot.trov_traits <- function(object, ylab = object$variables$y, ...) {
  if (!requireNamespace("ggplot2", quietly = TRUE)) stop("autoplot needs the package ggplot2", call. = FALSE)
  parts <- traits_figure_parts(object)
  aes <- ggplot2::aes
  .data <- ggplot2::.data
  if (!is.null(parts$surface)) {
    s <- parts$surface
    grid <- data.frame(a = rep(s$grid_a, length(s$grid_b)), b = rep(s$grid_b, each = length(s$grid_a)),
                       fitted = as.vector(s$fitted))
    points <- setNames(parts$points, c("a", "b"))
    figure <- ggplot2::ggplot(grid, aes(.data$a, .data$b)) + ggplot2::geom_contour(aes(z = .data$fitted)) +
      ggplot2::geom_point(data = points, size = 0.5, colour = "grey40") + ggplot2::labs(x = s$names[1], y = s$names[2])
    if (!is.null(parts$peak))
      figure <- figure + ggplot2::geom_point(data = data.frame(a = parts$peak[1], b = parts$peak[2]), shape = 4, size = 4)
    return(figure)
  }
  ggplot2::ggplot(parts$curves, aes(.data$x, .data$fitted)) +
    ggplot2::geom_ribbon(aes(ymin = .data$lower, ymax = .data$upper), alpha = 0.2) +
    ggplot2::geom_line(linewidth = 1) + ggplot2::facet_wrap(~trait, scales = "free_x") +
    ggplot2::labs(x = NULL, y = ylab)
}
