# The calls that analyse: fitness() for one trait, fitness_many() for many traits of one response.

fitness <- function(data, y, x, n = NULL, covariate = NULL, model = "binomial", lnlambda = NULL, ...) {
  if (!(is.character(x) && length(x) == 1)) stop("x must name one column of data (fitness_many takes many)")
  input <- trov_input(data, y, x, n, covariate)
  settings <- trov_settings(input, model, lnlambda, list(...))
  keep <- input$keep[[1]]
  report_left_out(keep)
  out <- analyse_r(input$traits[[1]][keep], input$y[keep], rows(input$n, keep), rows(input$covariate, keep), settings)
  new_trov_fit(out, input, x, keep, match.call())
}

fitness_many <- function(data, y, traits, n = NULL, covariate = NULL, model = "binomial", lnlambda = NULL, ...) {
  input <- trov_input(data, y, traits, n, covariate)
  settings <- trov_settings(input, model, lnlambda, list(...))
  report_left_out(input$keep)
  # The library analyses traits of one response together; traits with missing values in other rows
  # have other cases, so each set of rows kept is one call (usually there is one).
  pattern <- vapply(input$keep, function(k) paste(which(!k), collapse = ","), "")
  outcomes <- vector("list", length(traits))
  for (left_out in unique(pattern)) {
    which_traits <- which(pattern == left_out)
    keep <- input$keep[[which_traits[1]]]
    columns <- lapply(input$traits[which_traits], function(t) t[keep])
    outcomes[which_traits] <- analyse_many_r(columns, input$y[keep], rows(input$n, keep), rows(input$covariate, keep),
                                             settings)
  }
  call <- match.call()
  fits <- Map(function(out, trait, keep) {
    tryCatch(new_trov_fit(out, input, trait, keep, call), trov_error = identity)
  }, outcomes, traits, input$keep)
  names(fits) <- traits
  failed <- vapply(fits, inherits, NA, "trov_error")
  if (any(failed))
    warning(sprintf("trov: %d of %d traits were refused (%s); their elements hold the error",
                    sum(failed), length(fits), paste(utils::head(traits[failed], 5), collapse = ", ")), call. = FALSE)
  structure(fits, class = "trov_many")
}

# The columns of the analysis as the library takes them, and per trait the rows without a missing value.
trov_input <- function(data, y, traits, n, covariate) {
  if (!is.data.frame(data)) data <- as.data.frame(data)
  one_column <- list(y = y, n = n, covariate = covariate)
  for (what in names(one_column))
    if (!is.null(one_column[[what]]) && !(is.character(one_column[[what]]) && length(one_column[[what]]) == 1))
      stop(what, " must name one column of data")
  if (!is.character(traits) || length(traits) == 0 || anyNA(traits)) stop("the traits must be named columns of data")
  unknown <- setdiff(c(y, traits, n, covariate), names(data))
  if (length(unknown)) stop("no column ", paste0("'", unknown, "'", collapse = ", "), " in data")
  levels <- NULL
  cov <- numeric(0)
  if (!is.null(covariate)) {
    cov <- data[[covariate]]
    if (is.character(cov)) cov <- factor(cov)
    if (is.factor(cov)) {
      levels <- levels(cov)
      cov <- as.numeric(cov)
    } else {
      cov <- numeric_column(cov, covariate)
    }
  }
  yv <- numeric_column(data[[y]], y)
  nv <- if (is.null(n)) numeric(0) else numeric_column(data[[n]], n)
  columns <- lapply(traits, function(t) numeric_column(data[[t]], t))
  missing_any <- is.na(yv)
  if (length(nv)) missing_any <- missing_any | is.na(nv)
  if (length(cov)) missing_any <- missing_any | is.na(cov)
  keep <- lapply(columns, function(x) !(missing_any | is.na(x)))
  names(columns) <- names(keep) <- traits
  list(y = yv, n = nv, covariate = cov, levels = levels, traits = columns, keep = keep,
       variables = c(y = y, n = if (is.null(n)) NA else n, covariate = if (is.null(covariate)) NA else covariate))
}

# The kept rows of an optional column (empty when the column is not used).
rows <- function(v, keep) if (length(v)) v[keep] else v

numeric_column <- function(v, name) {
  if (is.logical(v) || (is.numeric(v) && !is.factor(v))) return(as.double(v))
  stop("column '", name, "' must be numeric or logical")
}

trov_settings <- function(input, model, lnlambda, given) {
  if (length(given) && (is.null(names(given)) || any(names(given) == "")))
    stop("the settings after lnlambda must be named (grid, grid_points, bootstrap, ...)")
  if (!is.null(input$levels)) {
    if (isFALSE(given$categorical)) stop("a factor covariate is categorical: leave categorical out or TRUE")
    given$categorical <- TRUE
  }
  c(list(model = model, lnlambda = lnlambda), given)
}

report_left_out <- function(keep) {
  if (!is.list(keep)) keep <- list(keep)
  left_out <- vapply(keep, function(k) sum(!k), 0)
  if (all(left_out == 0)) return(invisible())
  if (length(keep) == 1) {
    message(sprintf("trov: %d of %d rows left out for missing values", left_out, length(keep[[1]])))
  } else {
    message(sprintf("trov: rows left out for missing values in %d of %d traits (at most %d of %d rows)",
                    sum(left_out > 0), length(keep), max(left_out), length(keep[[1]])))
  }
}

# A refusal of the library as an R error of class trov_error, with its number in `code`.
trov_error <- function(error, call) {
  structure(class = c("trov_error", "error", "condition"),
            list(message = sprintf("%s\n(trov error %d: %s)", error$text, error$code, error$kind),
                 call = call, code = error$code, kind = error$kind))
}

# The engine's warnings stay in $warnings (print() counts them, summary() shows them): most concern the
# classic fits, which the package does not report.
new_trov_fit <- function(out, input, trait, keep, call) {
  if (!is.null(out$error)) stop(trov_error(out$error, call))
  cases <- data.frame(y = input$y[keep], x = input$traits[[trait]][keep])
  if (length(input$n)) cases$n <- input$n[keep]
  if (length(input$covariate)) cases$covariate <- input$covariate[keep]
  fit <- c(list(call = call, variables = c(input$variables, x = trait)[c("y", "x", "n", "covariate")],
                levels = input$levels, cases_used = cases),
           out[c("settings", "cases", "observations")], list(n_points = out$points),
           out[c("grid", "minima", "recommended", "warnings")],
           out$fit, list(report = out$report))
  structure(fit, class = "trov_fit")
}
