## The hidden Markov model demo (examples/): the claims it prints hold, and
## its pieces (EM, decoding, label matching, plot) are right on their own.

%!shared results, examples
%! examples = fullfile (fileparts (fileparts (fileparts (which ("demo_test")))), "examples");
%! addpath (examples);
%! results = hmm_demo_results ();

%!function ok = never_decreases (loglik)
%!  ## A drop of more than 1e-9 of the magnitude is no rounding.
%!  ok = all (diff (loglik) >= -1e-9 * abs (loglik(2:end)));
%!endfunction

%!function loglik = log_space_likelihood (y, model)
%!  ## The forward recursion in logarithms, without scaling or plug-ins.
%!  logB = -0.5 * (log (2 * pi * model.sigma2(:)) + (y(:)' - model.mu(:)) .^ 2 ./ model.sigma2(:));
%!  logA = log (model.transmat);
%!  a = log (model.prior(:)) + logB(:,1);
%!  for t = 2:numel (y)
%!    m = max (a);
%!    a = log (exp (a - m)' * exp (logA))' + m + logB(:,t);
%!  endfor
%!  loglik = max (a) + log (sum (exp (a - max (a))));
%!endfunction

%!function ok = can_print_png (folder)
%!  ## Whether this Octave can draw at all: then the demo must write its plot.
%!  ok = false;
%!  try
%!    fig = figure ("visible", "off");
%!    plot (1:3);
%!    evalc ("print (fig, '-dpng', fullfile (folder, 'probe.png'))");
%!    close (fig);
%!    ok = exist (fullfile (folder, "probe.png"), "file") == 2;
%!  catch
%!  end_try_catch
%!endfunction

%!function [best, unique] = brute_force_labels (N)
%!  ## The renaming of rows that agrees on most steps, by trying every one.
%!  K = rows (N);
%!  candidates = perms (1:K);
%!  agree = zeros (rows (candidates), 1);
%!  for r = 1:rows (candidates)
%!    agree(r) = sum (N(sub2ind ([K K], 1:K, candidates(r,:))));
%!  endfor
%!  top = find (agree == max (agree));
%!  best = candidates(top(1),:);
%!  unique = isscalar (top);
%!endfunction

## EM: the log-likelihood never decreases and the fit converges.
%!test
%! for fit = {results.nile, results.synthetic}
%!   ll = fit{1}.loglik;
%!   assert (numel (ll) > 3 && numel (ll) < 500);
%!   assert (never_decreases (ll));
%!   assert (ll(end) - ll(end-1) < 1e-6);
%!   assert (ll(end) - ll(1) > 1);
%! endfor

## The log-likelihood that EM reports is the model's own, computed here in
## logarithms from scratch (checks the per-step scaling of the likelihoods).
%!test
%! nile = results.nile;
%! assert (nile.loglik(end), log_space_likelihood (nile.volume, nile.model), 1e-9 * abs (nile.loglik(end)));
%! syn = results.synthetic;
%! assert (syn.loglik(end), log_space_likelihood (syn.y, syn.model), 1e-9 * abs (syn.loglik(end)));

## Far outliers cannot underflow to an impossible observation.
%!test
%! model = results.synthetic.trueModel;
%! [obslik, logscale] = hmm_gaussian_obslik ([0 1e3 -1e4], model);
%! assert (all (max (obslik) == 1));
%! [~, ~, ~, ll] = chainsweep (model.prior, model.transmat, obslik);
%! assert (isfinite (ll + sum (logscale)));

## The counts of the E step are the pairwise marginals summed over time.
%!test
%! nile = results.nile;
%! obslik = hmm_gaussian_obslik (nile.volume, nile.model);
%! [~, alpha, beta, xi, ~] = chainsweep (nile.model.prior, nile.model.transmat, obslik);
%! counts = pairtally (alpha, beta, nile.model.transmat, obslik);
%! assert (counts, sum (xi, 3), 1e-12 * numel (nile.volume));
%! assert (sum (counts(:)), numel (nile.volume) - 1, 1e-9);

## The Nile: the flow drops in 1899 (Cobb 1978) and stays low; the decoded
## regimes say so, with means near those of the two stretches.
%!test
%! nile = results.nile;
%! assert (nile.year, 1871:1970);
%! assert (nile.volume([1 end]), [1120 740]);
%! [~, high] = max (nile.model.mu);
%! [~, low] = min (nile.model.mu);
%! assert (nile.segments, [1871 1898 high; 1899 1970 low]);
%! assert (nile.model.mu(high), mean (nile.volume(1:28)), 10);
%! assert (nile.model.mu(low), mean (nile.volume(29:end)), 10);

## Decoding: the path from pathtrace and the back-trace is the best of all
## paths, found here by trying every one of a short chain.
%!test
%! model = results.synthetic.trueModel;
%! y = [2.6 4.1 3.9 0.3 1.4 1.1 4.8];
%! T = numel (y);
%! logB = log (hmm_gaussian_obslik (y, model));
%! logA = log (model.transmat);
%! best = -Inf;
%! for code = 0:3^T - 1
%!   path = 1 + mod (floor (code ./ 3 .^ (0:T-1)), 3);
%!   score = log (model.prior(path(1))) + sum (logB(sub2ind (size (logB), path, 1:T))) ...
%!           + sum (logA(sub2ind (size (logA), path(1:end-1), path(2:end))));
%!   if score > best
%!     best = score;
%!     bestPath = path;
%!   endif
%! endfor
%! assert (hmm_viterbi_path (y, model), bestPath);

## The synthetic chain: labels matched by bestmatch are the renaming that
## brute force finds, and its cost is the number of misdecoded steps.
%!test
%! syn = results.synthetic;
%! N = accumarray ([syn.path(:), syn.states(:)], 1, [3 3]);
%! [best, unique] = brute_force_labels (N);
%! assert (unique);
%! assert (syn.labelOf, best);
%! assert (syn.errors, sum (syn.labelOf(syn.path) != syn.states));
%! assert (syn.accuracy, mean (syn.labelOf(syn.path) == syn.states));

## The same on random confusion tables, where ties are likely: the number of
## disagreements is always the least.
%!test
%! rand ("state", 7);
%! for trial = 1:30
%!   K = 2 + mod (trial, 4);
%!   decoded = 1 + floor (K * rand (1, 40));
%!   truth = 1 + floor (K * rand (1, 40));
%!   [labelOf, errors] = hmm_match_labels (decoded, truth, K);
%!   assert (sort (labelOf), 1:K);
%!   assert (errors, sum (labelOf(decoded) != truth));
%!   best = brute_force_labels (accumarray ([decoded(:), truth(:)], 1, [K K]));
%!   assert (errors, sum (best(decoded) != truth));
%! endfor

## Accuracy. The states' means lie 2.5 standard deviations apart, so a step
## read on its own is misclassified about 14% of the time (Phi(-1.25) is
## 0.106 towards each neighbouring mean); the chain's persistence (runs of
## about 20 steps) is what lets the most likely path do far better. With
## 1000 steps EM recovers the parameters closely, so the fitted model must
## decode within one point of the true parameters, which here reach 97.6%:
## hence at least 95%, and well above the step-by-step reading.
%!test
%! syn = results.synthetic;
%! assert (syn.stepwiseAccuracy > 0.8 && syn.stepwiseAccuracy < 0.9);
%! assert (syn.oracleAccuracy >= 0.95);
%! assert (syn.accuracy >= 0.95);
%! assert (syn.accuracy >= syn.oracleAccuracy - 0.01);
%! assert (syn.accuracy >= syn.stepwiseAccuracy + 0.05);

## The fitted parameters, renamed by the matching, are near the true ones:
## a mean's standard error is about 0.055 here.
%!test
%! syn = results.synthetic;
%! truth = syn.trueModel;
%! fitted = zeros (3, 1);
%! fitted(syn.labelOf) = 1:3;
%! assert (syn.model.mu(fitted), truth.mu, 0.2);
%! assert (sqrt (syn.model.sigma2(fitted)), sqrt (truth.sigma2), 0.2);
%! assert (diag (syn.model.transmat(fitted, fitted)), diag (truth.transmat), 0.05);
%! assert (sum (syn.model.transmat, 2), ones (3, 1), 1e-12);

## The demo script runs to its end, reports no fault and writes its plot
## when Octave has graphics.
%!test
%! here = pwd ();
%! folder = tempname ();
%! mkdir (folder);
%! unwind_protect
%!   cd (folder);
%!   out = evalc ("hmm_demo");
%!   assert (numel (strfind (out, "the log-likelihood never decreased")), 2);
%!   assert (isempty (strfind (out, "FAULT")));
%!   assert (! isempty (regexp (out, "1871-1898  high .*1899-1970  low", "once")));
%!   assert (! isempty (strfind (out, sprintf ("%5.1f %%", 100 * results.synthetic.accuracy))));
%!   if (can_print_png (folder))
%!     png = dir (fullfile (folder, "hmm_demo.png"));
%!     assert (numel (png), 1);
%!     assert (png.bytes > 10000);
%!     assert (! isempty (strfind (out, fullfile (folder, "hmm_demo.png"))));
%!   endif
%! unwind_protect_cleanup
%!   cd (here);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (folder, "s");
%! end_unwind_protect
