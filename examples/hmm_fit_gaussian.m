function [model, loglik, gamma] = hmm_fit_gaussian (y, K, maxIterations, tolerance)
% HMM_FIT_GAUSSIAN  Fit a hidden Markov model with Gaussian emissions by EM.
%   [MODEL, LOGLIK, GAMMA] = HMM_FIT_GAUSSIAN (Y, K) fits K states to the
%   observations Y (a vector of T >= 2 values) by expectation-maximisation
%   (Baum-Welch):
%     E step  CHAINSWEEP smooths the chain under the current parameters and
%             returns the log-likelihood; PAIRTALLY sums the expected
%             transition counts from the forward and backward messages.
%     M step  the new prior, transition matrix, state means and variances
%             are the closed-form maximisers of the expected log-likelihood.
%   MODEL has the fields prior (K-by-1), transmat (K-by-K, rows sum to 1),
%   mu and sigma2 (K-by-1). LOGLIK(n) is the log-likelihood of Y under the
%   parameters of iteration n (iteration 1: the starting point), so EM makes
%   it non-decreasing. GAMMA (K-by-T) holds the smoothed state marginals under
%   the returned MODEL, whose log-likelihood is LOGLIK(end).
%
%   [...] = HMM_FIT_GAUSSIAN (Y, K, MAXITERATIONS, TOLERANCE) stops after
%   MAXITERATIONS evaluations (default 500) or when an iteration raises the
%   log-likelihood by less than TOLERANCE times its magnitude (default 1e-10).
%
%   The start is deterministic: the means sit at the (k-1/2)/K quantiles of Y,
%   every variance is that of Y, the prior is uniform and the chain stays in
%   its state with probability 0.8.

  if nargin < 3 || isempty (maxIterations)
    maxIterations = 500;
  end
  if nargin < 4 || isempty (tolerance)
    tolerance = 1e-10;
  end
  y = y(:)';
  T = numel (y);
  if T < 2 || K < 1
    error ('hmm_fit_gaussian: need at least two observations and one state');
  end

  sorted = sort (y);
  model.prior = ones (K, 1) / K;
  if K == 1
    model.transmat = 1;
  else
    model.transmat = 0.8 * eye (K) + 0.2 / (K - 1) * (ones (K) - eye (K));
  end
  model.mu = sorted(max (1, round (((1:K)' - 0.5) / K * T)))';
  model.mu = model.mu(:);
  spread = mean ((y - mean (y)) .^ 2);
  model.sigma2 = spread * ones (K, 1);
  % A floor keeps a state from collapsing onto a single observation (the
  % likelihood is unbounded there); clamping to it keeps EM monotone.
  floor2 = 1e-6 * spread;

  loglik = zeros (1, maxIterations);
  for n = 1:maxIterations
    [obslik, logscale] = hmm_gaussian_obslik (y, model);
    [gamma, alpha, beta, ll] = chainsweep (model.prior, model.transmat, obslik);
    loglik(n) = ll + sum (logscale);
    if n > 1 && loglik(n) - loglik(n - 1) < tolerance * abs (loglik(n))
      break;
    end
    if n == maxIterations
      break;
    end
    counts = pairtally (alpha, beta, model.transmat, obslik);

    next.prior = gamma(:, 1);
    next.transmat = counts ./ sum (counts, 2);
    occupancy = sum (gamma, 2);
    next.mu = (gamma * y') ./ occupancy;
    next.sigma2 = max (floor2, sum (gamma .* (y - next.mu) .^ 2, 2) ./ occupancy);
    % A state that no step visits keeps its old emission parameters.
    unused = occupancy <= 0;
    next.mu(unused) = model.mu(unused);
    next.sigma2(unused) = model.sigma2(unused);
    empty = sum (counts, 2) <= 0;
    next.transmat(empty, :) = model.transmat(empty, :);
    model = next;
  end
  loglik = loglik(1:n);
end

%!test
%! ## Three regimes of a synthetic chain: found, and EM never lowers the
%! ## likelihood.
%! y = hmm_synthetic_chain (400, 5);
%! [model, loglik, gamma] = hmm_fit_gaussian (y, 3);
%! assert (all (diff (loglik) >= -1e-9 * abs (loglik(2:end))));
%! assert (sort (model.mu)', [0 2.5 5], 0.35);
%! assert (sum (model.transmat, 2), ones (3, 1), 1e-12);
%! assert (size (gamma), [3, 400]);
%! assert (sum (gamma), ones (1, 400), 1e-12);

%!test
%! ## The iteration limit holds.
%! [~, loglik] = hmm_fit_gaussian (hmm_synthetic_chain (100, 8), 2, 3);
%! assert (numel (loglik), 3);

%!error <need at least two observations> hmm_fit_gaussian (1, 2)
