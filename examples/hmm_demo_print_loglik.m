function hmm_demo_print_loglik (loglik)
% HMM_DEMO_PRINT_LOGLIK  Print the log-likelihood of every EM iteration and check it.
%   A decrease of more than 1e-9 of the log-likelihood's magnitude cannot be
%   rounding and is reported as a fault.

  fprintf ('   iteration   log-likelihood        change\n');
  for n = 1:numel (loglik)
    if n == 1
      fprintf ('   %9d   %14.6f\n', n, loglik(n));
    else
      fprintf ('   %9d   %14.6f   %+11.3e\n', n, loglik(n), loglik(n) - loglik(n - 1));
    end
  end
  drops = -diff (loglik);
  if any (drops > 1e-9 * abs (loglik(2:end)))
    fprintf ('   FAULT: the log-likelihood decreased (by up to %g)\n', max (drops));
  else
    fprintf ('   %d iterations; the log-likelihood never decreased.\n', numel (loglik));
  end
end

%!test
%! out = evalc ("hmm_demo_print_loglik ([-10 -5 -4])");
%! assert (! isempty (strfind (out, "3 iterations; the log-likelihood never decreased.")));
%! out = evalc ("hmm_demo_print_loglik ([-10 -5 -6])");
%! assert (! isempty (strfind (out, "FAULT: the log-likelihood decreased (by up to 1)")));
