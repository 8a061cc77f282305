% CHAINSWEEP  Forward-backward smoothing of a discrete hidden Markov chain.
%   [GAMMA, ALPHA, BETA, LOGLIK] = CHAINSWEEP (PRIOR, TRANSMAT, OBSLIK)
%   [GAMMA, ALPHA, BETA, XI, LOGLIK] = CHAINSWEEP (PRIOR, TRANSMAT, OBSLIK)
%
%   Smooths a chain of K states observed over T steps: from the initial
%   distribution, the transition matrix and the observation likelihoods it
%   returns the state marginals given all observations, the scaled forward
%   and backward messages, the pairwise marginals of consecutive steps (with
%   five outputs) and the log-likelihood of the observations.
%
%   Inputs (real, full double arrays):
%     PRIOR     K elements, any shape: PRIOR(i) is the weight of state i at
%               the first step.
%     TRANSMAT  K-by-K: TRANSMAT(i,j) is the probability of moving from state
%               i at one step to state j at the next (rows: from, columns: to).
%     OBSLIK    K-by-T: OBSLIK(i,t) is the likelihood of the observation of
%               step t in state i. T >= 1.
%   Neither PRIOR nor the rows of TRANSMAT have to sum to 1; nothing checks it.
%
%   Outputs:
%     GAMMA   K-by-T: GAMMA(:,t) is the distribution of the state at step t
%             given all T observations.
%     ALPHA   K-by-T: forward messages, ALPHA(:,t) proportional to the joint
%             weight of the state at step t and the observations 1..t, each
%             column scaled to sum to 1.
%     BETA    K-by-T: backward messages, BETA(:,t) proportional to the weight
%             of the observations t+1..T given the state at step t, each
%             column scaled to sum to 1; BETA(:,T) is all ones.
%     XI      K-by-K-by-T (only with five outputs): XI(i,j,t) is the joint
%             probability of state i at step t and state j at step t+1, given
%             all observations; XI(:,:,T) is all zero. SUM (XI, 3) is the
%             matrix of expected transition counts that PAIRTALLY computes.
%     LOGLIK  1-by-1: the natural log-likelihood of the observations, the sum
%             over t of the log of each forward column's sum before scaling.
%             Always the last output.
%   A column whose sum is 0 stays all zero: an observation impossible in
%   every reachable state gives an ALPHA of zeros from that step on and a
%   LOGLIK of -Inf, without an error.
%
%   Errors (Octave shows them prefixed with "chainsweep: "):
%     chainsweepC requires 3 inputs and 4-5 outputs
%     The transition matrix must be of size KxK.
%     The obslik must have K rows.
%     All inputs must be real, full (non-sparse) double arrays.
%     The obslik must have at least one column (one time step).
%     We don't want to normalize if A contains a negative value. This is a
%       logical error.  (a negative value met while normalising a message,
%       a pairwise table or a marginal, also with four outputs)
%     The problem is too large: the obslik may have at most 2147483647
%       columns (time steps).
%     The problem is too large: the chain may have at most 2147483647 states.
%     The problem is too large: the K-by-K-by-T pairwise marginals cannot be
%       allocated.  (five outputs only: with four no pairwise table is made)
%     Not enough memory for the working buffers.
%
%   Deterministic: every sum runs in a fixed order and no multiply-add is
%   fused, so the same inputs give the same bits on every run and on every
%   machine with IEEE double arithmetic, whatever vector unit or number of
%   threads (HMM_PLUGINS_THREADS) the call uses.
%
%   Example (two states, five steps):
%     prior = [0.5; 0.5];
%     transmat = [0.8 0.2; 0.2 0.8];
%     obslik = [0.9 0.2 0.1 0.7 0.8; 0.1 0.7 0.8 0.3 0.1];
%     [gamma, alpha, beta, loglik] = chainsweep (prior, transmat, obslik);
%     [~, mostLikelyState] = max (gamma)
%     % mostLikelyState = [1 2 2 1 1], loglik = -4.3062
%
%   See also PAIRTALLY, PATHTRACE, BESTMATCH.

error ('chainsweep: compiled plug-in not found, run the build first');

%!test
%! ## The example above.
%! prior = [0.5; 0.5];
%! transmat = [0.8 0.2; 0.2 0.8];
%! obslik = [0.9 0.2 0.1 0.7 0.8; 0.1 0.7 0.8 0.3 0.1];
%! [gamma, alpha, beta, loglik] = chainsweep (prior, transmat, obslik);
%! [~, state] = max (gamma);
%! assert (state, [1 2 2 1 1]);
%! assert (loglik, -4.3062, 5e-5);
%! assert (sum (alpha), ones (1, 5), 4 * eps);
%! assert (beta(:, end), [1; 1]);

%!test
%! ## The forward and backward recursions written out, unscaled.
%! rand ("state", 7);
%! K = 4; T = 12;
%! prior = rand (K, 1); transmat = rand (K); obslik = rand (K, T);
%! a = zeros (K, T); b = ones (K, T);
%! a(:, 1) = prior .* obslik(:, 1);
%! for t = 2:T
%!   a(:, t) = (transmat' * a(:, t-1)) .* obslik(:, t);
%! endfor
%! for t = T-1:-1:1
%!   b(:, t) = transmat * (b(:, t+1) .* obslik(:, t+1));
%! endfor
%! [gamma, alpha, beta, xi, loglik] = chainsweep (prior, transmat, obslik);
%! assert (gamma, (a .* b) ./ sum (a .* b), 1e-13);
%! assert (alpha, a ./ sum (a), 1e-13);
%! assert (beta(:, 1:T-1), b(:, 1:T-1) ./ sum (b(:, 1:T-1)), 1e-13);
%! assert (beta(:, T), ones (K, 1));
%! assert (loglik, log (sum (a(:, T))), 1e-12);
%! for t = 1:T-1
%!   x = transmat .* (a(:, t) * (b(:, t+1) .* obslik(:, t+1))');
%!   assert (xi(:, :, t), x / sum (x(:)), 1e-13);
%! endfor
%! assert (xi(:, :, T), zeros (K));

%!test
%! ## The same bits whatever vector unit the processor lends it.
%! rand ("state", 8);
%! K = 9; T = 300;
%! prior = rand (K, 1); transmat = rand (K); obslik = rand (K, T);
%! saved = getenv ("HMM_PLUGINS_VECTOR_UNIT");
%! unwind_protect
%!   setenv ("HMM_PLUGINS_VECTOR_UNIT", "plain");
%!   [g1, a1, b1, l1] = chainsweep (prior, transmat, obslik);
%! unwind_protect_cleanup
%!   setenv ("HMM_PLUGINS_VECTOR_UNIT", saved);
%! end_unwind_protect
%! [g2, a2, b2, l2] = chainsweep (prior, transmat, obslik);
%! assert (isequal ([g1, a1, b1, l1 * ones(K, 1)], [g2, a2, b2, l2 * ones(K, 1)]));

%!error <chainsweepC requires 3 inputs and 4-5 outputs> [a, b, c] = chainsweep (1, 1, 1)
%!error <The transition matrix must be of size KxK> [a, b, c, d] = chainsweep ([1; 1], 1, ones (2, 3))
%!error <The obslik must have K rows> [a, b, c, d] = chainsweep (1, 1, ones (2, 3))
