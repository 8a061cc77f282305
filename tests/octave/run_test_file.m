function status = run_test_file (file)
  ## Runs the %!test and %!error blocks of FILE; 0 when all pass, else 1.
  [passed, total] = test (file, "quiet", stdout);
  printf ("%s: %d of %d passed\n", file, passed, total);
  status = double (total == 0 || passed != total);
endfunction
