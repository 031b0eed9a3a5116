library(testthat)
library(trov)
test_check("trov")
