# The calls that analyse: fitness() for one trait (several at once: traits.R), fitness_many() for many
# traits of one response, each on its own.

fitness <- function(data, y, x, n = NULL, covariate = NULL, model = "binomial", lnlambda = NULL, one = NULL, ...,
                    surface = FALSE) {
  if (!(isTRUE(surface) || isFALSE(surface))) refuse("surface must be TRUE or FALSE")
  if (!(is.character(x) && length(x) >= 1)) refuse("x must name columns of data: one trait, or several at once")
  if (length(x) > 1 || surface)
    return(fitness_traits(data, y, x, n, covariate, model, lnlambda, one, list(...), surface, match.call()))
  input <- trov_input(data, y, x, n, covariate, one)
  settings <- trov_settings(input, model, lnlambda, list(...))
  keep <- input$keep[[1]]
  report_left_out(keep)
  out <- analyse_r(input$traits[[1]][keep], input$y[keep], rows(input$n, keep), rows(input$covariate, keep), settings)
  new_trov_fit(out, input, x, keep, match.call())
}

fitness_many <- function(data, y, traits, n = NULL, covariate = NULL, model = "binomial", lnlambda = NULL, one = NULL,
                         errors = c("warn", "raise"), cl = NULL, progress = interactive(), ...) {
  errors <- one_of(errors, c("warn", "raise"), "errors")
  if (!is.null(cl) && !inherits(cl, "cluster"))
    refuse("cl must be a cluster of the parallel package (parallel::makePSOCKcluster(2), say)")
  if (!(isTRUE(progress) || isFALSE(progress))) refuse("progress must be TRUE or FALSE")
  input <- trov_input(data, y, traits, n, covariate, one)
  settings <- trov_settings(input, model, lnlambda, list(...))
  call <- match.call()
  # the settings are checked here, before any trait is analysed (on this machine or a cluster's nodes)
  checked <- analyse_many_r(list(), input$y, input$n, input$covariate, settings)
  if (!is.null(checked$error)) stop(trov_error(checked$error, call))
  if (!length(traits)) return(structure(setNames(list(), character(0)), class = "trov_many"))
  report_left_out(input$keep)
  # The library analyses traits of one response together; traits with missing values in other rows
  # have other cases, so each set of rows kept is one call (usually there is one).
  pattern <- vapply(input$keep, function(k) paste(which(!k), collapse = ","), "")
  outcomes <- vector("list", length(traits))
  scan <- if (is.null(cl)) function(...) analyse_many_r(..., settings)
          else cluster_scan(cl, settings, progress, length(traits))
  for (left_out in unique(pattern)) {
    which_traits <- which(pattern == left_out)
    keep <- input$keep[[which_traits[1]]]
    columns <- lapply(input$traits[which_traits], function(t) t[keep])
    outcomes[which_traits] <- scan(columns, input$y[keep], rows(input$n, keep), rows(input$covariate, keep))
  }
  fits <- Map(function(out, trait, keep) {
    tryCatch(new_trov_fit(out, input, trait, keep, call), trov_error = identity)
  }, outcomes, traits, input$keep)
  names(fits) <- traits
  failed <- vapply(fits, inherits, NA, "trov_error")
  if (any(failed) && errors == "raise") stop(fits[[which(failed)[1]]])
  if (any(failed))
    warning(sprintf("trov: %d of %d traits were refused (%s); their elements hold the error",
                    sum(failed), length(fits), paste(utils::head(traits[failed], 5), collapse = ", ")), call. = FALSE)
  structure(fits, class = "trov_many")
}

# The library's analyse_many over the nodes of a parallel cluster, for traits of the same cases (y, n,
# covariate): each node analyses shares of the traits with the same settings, so that each trait's result
# is the one this machine gives it, whatever node it lands on. Shares go out in rounds, one to each node,
# about four per node in all, so that progress can be told as rounds finish. Each node runs one thread
# unless the call says `workers` (the cluster's nodes are its parallelism).
cluster_scan <- function(cl, settings, progress, total) {
  if (is.null(settings$workers)) settings$workers <- 1
  done <- 0
  function(columns, y, n, covariate) {
    share <- max(1, ceiling(length(columns) / (4 * length(cl))))
    shares <- split(seq_along(columns), ceiling(seq_along(columns) / share))
    out <- vector("list", length(columns))
    for (round in split(shares, ceiling(seq_along(shares) / length(cl)))) {
      results <- tryCatch(
        parallel::clusterApply(cl[seq_along(round)], lapply(round, function(i) columns[i]), analyse_many_r,
                               y, n, covariate, settings),
        error = function(e) stop("a node of the cluster could not analyse its traits: ", conditionMessage(e),
                                 "\n(each node loads trov: parallel::clusterEvalQ(cl, .libPaths(\"DIR\")) ",
                                 "tells nodes where it is installed)", call. = FALSE))
      for (i in seq_along(round)) out[round[[i]]] <- results[[i]]
      done <<- done + length(unlist(round))
      if (progress) message(sprintf("trov: %d of %d traits done", done, total))
    }
    out
  }
}

# The columns of the analysis as the library takes them, and per trait the rows without a missing value.
trov_input <- function(data, y, traits, n, covariate, one) {
  if (!is.null(covariate) && !(is.character(covariate) && length(covariate) == 1))
    refuse("covariate must name one column of data")
  data <- named_columns(data, y, traits, n, covariate, one)
  levels <- NULL
  cov <- numeric(0)
  if (!is.null(covariate)) {
    taken <- covariate_values(data[[covariate]], covariate)
    levels <- taken$levels
    cov <- taken$values
  }
  yv <- response_column(data[[y]], y, one)
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

# data as a data frame, once every name given is one of its columns (y and n one each).
named_columns <- function(data, y, traits, n, covariates, one) {
  if (!is.data.frame(data)) data <- as.data.frame(data)
  one_column <- list(y = y, n = n)
  for (what in names(one_column))
    if (!is.null(one_column[[what]]) && !(is.character(one_column[[what]]) && length(one_column[[what]]) == 1))
      refuse(what, " must name one column of data")
  if (!is.character(traits) || anyNA(traits)) refuse("the traits must be named columns of data")
  if (!is.null(covariates) && (!is.character(covariates) || anyNA(covariates)))
    refuse("covariate must name columns of data")
  if (!is.null(one) && !(is.character(one) && length(one) == 1 && !is.na(one)))
    refuse("one must be the word of y taken as 1")
  unknown <- setdiff(c(y, traits, n, covariates), names(data))
  if (length(unknown))
    refuse("no column ", paste0("'", unknown, "'", collapse = ", "), " in data; its columns are ",
           paste0("'", names(data), "'", collapse = ", "), code = 2L)
  data
}

# A covariate as the engine takes it: a factor (words; with as_factor logicals too) as its codes, its
# levels beside; numbers as they are.
covariate_values <- function(v, name, as_factor = FALSE) {
  if (is.character(v) || (as_factor && is.logical(v))) v <- factor(v)
  if (is.factor(v)) return(list(values = as.numeric(v), levels = levels(v)))
  list(values = numeric_column(v, name), levels = NULL)
}

# The kept rows of an optional column (empty when the column is not used).
rows <- function(v, keep) if (length(v)) v[keep] else v

numeric_column <- function(v, name) {
  if (is.logical(v) || (is.numeric(v) && !is.factor(v))) return(as.double(v))
  refuse("column '", name, "' must be numeric or logical", code = 2L)
}

# The response as numbers. Numbers as they are, TRUE as 1. Words: a factor of two levels has its second
# as 1 (as glm takes it); words Yes/No and TRUE/FALSE (any case) are 1 and 0; of two other words, `one`
# names the one taken as 1 (it may name the 1 of any words).
response_column <- function(v, name, one) {
  column <- paste0("column '", name, "'")
  if (!is.factor(v) && !is.character(v)) {
    if (!is.null(one)) refuse("one = \"", one, "\" names a word of y, but ", column, " holds numbers", code = 2L)
    return(numeric_column(v, name))
  }
  if (anyNA(v))
    refuse(column, " holds words and missing values (rows ", paste(utils::head(which(is.na(v)), 5), collapse = ", "),
           "): a response of words takes no missing value", code = 2L)
  two_levels <- is.factor(v) && nlevels(v) == 2
  words <- if (two_levels) levels(v) else if (is.factor(v)) levels(droplevels(v)) else unique(v)
  listed <- paste0("'", words, "'", collapse = ", ")
  if (length(words) > 2) refuse(column, " holds more than two words (", listed, "): a response of words takes two",
                                code = 2L)
  lower <- tolower(words)
  if (!is.null(one)) {
    if (!(one %in% words))
      refuse(column, " does not hold the word '", one, "' taken as 1 (its words: ", listed, ")", code = 2L)
  } else if (two_levels) {
    one <- words[2]
  } else if (all(lower %in% c("yes", "no")) && "yes" %in% lower) {
    one <- words[lower == "yes"]
  } else if (all(lower %in% c("true", "false")) && "true" %in% lower) {
    one <- words[lower == "true"]
  } else {
    refuse(column, " holds the words ", listed, ": say which is taken as 1 (one = \"", words[1], "\", say)",
           code = 2L)
  }
  as.double(as.character(v) == one)
}

trov_settings <- function(input, model, lnlambda, given) {
  if (length(given) && (is.null(names(given)) || any(names(given) == "")))
    refuse("the settings after lnlambda must be named (grid, grid_points, bootstrap, ...)")
  if (!is.null(input$levels)) {
    if (isFALSE(given$categorical)) refuse("a factor covariate is categorical: leave categorical out or TRUE")
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

# An argument the package cannot take, refused as the library refuses: a trov_error, code 1 (a setting)
# or 2 (the data), with the user's call.
refuse <- function(..., code = 1L) {
  stop(structure(class = c("trov_error", "error", "condition"),
                 list(message = paste0(...), call = user_call(), code = code, kind = error_text_r(code))))
}

# The outermost call of a function of this package: the one the user made.
user_call <- function() {
  for (i in seq_len(sys.nframe())) {
    f <- sys.function(i)
    if (!is.primitive(f) && identical(environment(f), environment(user_call))) return(sys.call(i))
  }
  NULL
}

# One of the allowed values (the first where the argument was left at its default), or a refusal
# naming them.
one_of <- function(value, allowed, name) {
  if (identical(value, allowed)) return(allowed[1])
  if (is.character(value) && length(value) == 1 && value %in% allowed) return(value)
  refuse(name, " must be one of ", paste0("\"", allowed, "\"", collapse = ", "))
}

# The engine's warnings stay in $warnings (print() counts them, summary() shows them): most concern the
# classic fits, which the package does not report. A categorical covariate's coefficients are its
# levels' effects on the linear predictor, named, relative to its first level.
new_trov_fit <- function(out, input, trait, keep, call) {
  if (!is.null(out$error)) stop(trov_error(out$error, call))
  cases <- data.frame(y = input$y[keep], x = input$traits[[trait]][keep])
  if (length(input$n)) cases$n <- input$n[keep]
  if (length(input$covariate)) cases$covariate <- input$covariate[keep]
  f <- out$fit
  if (length(f$level_values)) {
    labels <- if (is.null(input$levels)) as.character(f$level_values) else input$levels[f$level_values]
    f$coefficients <- setNames(f$level_effects, labels)
  }
  f$level_effects <- NULL
  f$peak <- f$selection$peak
  f$selection$peak <- NULL
  if (!is.null(f$peak$location)) rownames(f$peak$location) <- trait
  fit <- c(list(call = call, variables = c(input$variables, x = trait)[c("y", "x", "n", "covariate")],
                levels = input$levels, cases_used = cases),
           out[c("settings", "cases", "observations")], list(n_points = out$points),
           out[c("grid", "minima", "recommended", "warnings")],
           f, list(report = out$report))
  structure(fit, class = "trov_fit")
}
