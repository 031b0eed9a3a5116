# fitness() of several traits at once: the library's analyse_traits (an additive function of the traits,
# or a surface of two), its results as a trov_traits.

# The settings of one trait that have no meaning here: REML chooses the lambdas, without a grid or
# classic fits.
grid_only_settings <- c("grid", "grid_points", "fit_recommended", "classic", "maxit", "stop")

fitness_traits <- function(data, y, x, n, covariate, model, lnlambda, one, given, surface, call) {
  if (anyNA(x) || anyDuplicated(x)) refuse("x must name different columns of data")
  settings <- trov_settings(list(), model, lnlambda, given)
  not_here <- intersect(names(given), grid_only_settings)
  if (length(not_here))
    refuse(not_here[1], " does not apply to several traits: REML chooses their lambdas, without a grid")
  shape <- list(surface = surface, knots = settings$knots %||% 20, surface_knots = settings$surface_knots %||% 8)
  input <- traits_input(data, y, x, n, covariate, one, settings$categorical)
  settings$knots <- settings$surface_knots <- settings$categorical <- NULL
  report_left_out(input$keep)
  keep <- input$keep
  engine_covariates <- lapply(input$covariates, function(c)
    list(name = c$name, values = c$values[keep], categorical = c$categorical))
  out <- analyse_traits_r(lapply(input$traits, `[`, keep), input$y[keep], rows(input$n, keep), engine_covariates,
                          settings, shape)
  new_trov_traits(out, input, shape, call)
}

# The columns of several traits, their covariates (numbers continuous unless `categorical` says so:
# TRUE for all of them, or their names; factors, words and logicals categorical) and the rows kept:
# those without a missing value in any column used.
traits_input <- function(data, y, traits, n, covariates, one, categorical) {
  data <- named_columns(data, y, traits, n, covariates, one)
  if (!(is.null(categorical) || isTRUE(categorical) || isFALSE(categorical) ||
        (is.character(categorical) && all(categorical %in% covariates))))
    refuse("categorical must be TRUE, FALSE or names of covariates")
  yv <- response_column(data[[y]], y, one)
  nv <- if (is.null(n)) numeric(0) else numeric_column(data[[n]], n)
  columns <- setNames(lapply(traits, function(t) numeric_column(data[[t]], t)), traits)
  taken <- lapply(covariates, function(name) {
    c <- covariate_values(data[[name]], name, as_factor = TRUE)
    c$name <- name
    c$categorical <- !is.null(c$levels) || isTRUE(categorical) || (is.character(categorical) && name %in% categorical)
    c
  })
  missing <- is.na(yv)
  if (length(nv)) missing <- missing | is.na(nv)
  for (v in c(columns, lapply(taken, `[[`, "values"))) missing <- missing | is.na(v)
  keep <- !missing
  # a categorical covariate's levels as the engine meets them among the kept rows: its distinct values
  # in increasing order (a factor's codes), each labelled (by the factor's level, or the value)
  taken <- lapply(taken, function(c) {
    if (!c$categorical) return(c)
    c$level_values <- sort(unique(c$values[keep]))
    c$level_labels <- if (is.null(c$levels)) as.character(c$level_values) else c$levels[c$level_values]
    c
  })
  list(y = yv, n = nv, traits = columns, covariates = taken, keep = keep, data = data,
       variables = list(y = y, x = traits, n = n, covariate = covariates))
}

# The results as a trov_traits. A categorical covariate's coefficients are named name[level] by its
# levels' labels (the engine names a factor's by its codes).
new_trov_traits <- function(out, input, shape, call) {
  if (!is.null(out$error)) stop(trov_error(out$error, call))
  traits <- input$variables$x
  blocks <- covariate_blocks(input$covariates)
  coefficients <- out$coefficients
  for (i in seq_along(input$covariates)) {
    c <- input$covariates[[i]]
    if (!is.null(c$levels)) names(coefficients)[blocks[[i]]] <- paste0(c$name, "[", c$level_labels[-1], "]")
  }
  smooths <- setNames(out$smooths, vapply(out$smooths, `[[`, "", "name"))
  if (shape$surface && is.null(out$surface))
    stop("the library of this build fits no surface yet (it gave additive results)", call. = FALSE)
  lnlambda <- if (shape$surface) setNames(out$surface$lnlambda, traits)
              else vapply(smooths, `[[`, 0, "lnlambda")
  if (!is.null(out$surface)) {
    s <- out$surface
    s$grid <- setNames(data.frame(rep(s$grid_a, length(s$grid_b)), rep(s$grid_b, each = length(s$grid_a)),
                                  as.vector(s$fitted %||% NA_real_)), c(traits, "fitted"))
    out$surface <- s
  }
  used <- c(input$variables$y, traits, input$variables$n, input$variables$covariate)
  settings <- c(out$settings[c("model", "lnlambda", "criterion", "bootstrap", "seed", "bootstrap_type",
                               "bootstrap_lambda", "workers")], shape)
  fit <- c(list(call = call, variables = input$variables, settings = settings,
                cases_used = input$data[input$keep, unique(used), drop = FALSE], covariates = input$covariates),
           out[c("cases", "observations", "edf", "reml", "deviance", "scale", "reml_iterations", "intercept")],
           list(coefficients = coefficients, lnlambda = lnlambda, lambda = exp(lnlambda), smooths = smooths),
           out[c("surface", "fitted", "eta", "gradients", "selection", "peak", "bootstrap", "warnings")])
  structure(fit, class = "trov_traits")
}

# The positions of each covariate's coefficients: one for a continuous one, one per level after the
# first for a categorical one.
covariate_blocks <- function(covariates) {
  sizes <- vapply(covariates, function(c) if (c$categorical) length(c$level_values) - 1 else 1, 0)
  ends <- cumsum(sizes)
  Map(function(end, size) seq_len(size) + end - size, ends, sizes)
}
