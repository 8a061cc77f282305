% PAIRTALLY  Expected transition counts of a hidden Markov chain.
%   COUNTS = PAIRTALLY (ALPHA, BETA, TRANSMAT, OBSLIK)
%
%   Sums, over the T-1 pairs of consecutive steps, the posterior probability
%   of each pair of states: COUNTS(i,j) is the expected number of moves from
%   state i to state j. With the messages of CHAINSWEEP this is the E step
%   of EM (Baum-Welch) for the transition matrix:
%     [gamma, alpha, beta, loglik] = chainsweep (prior, transmat, obslik);
%     counts = pairtally (alpha, beta, transmat, obslik);
%     transmat = counts ./ sum (counts, 2);
%
%   Inputs (real, full double matrices; K states, T steps):
%     ALPHA     K-by-T forward messages (columns 1..T-1 are read).
%     BETA      K-by-T backward messages (columns 2..T are read).
%     TRANSMAT  K-by-K: TRANSMAT(i,j) weighs a move from state i to state j
%               (rows: from, columns: to).
%     OBSLIK    K-by-T observation likelihoods (columns 2..T are read).
%   Any positive scaling of a column of ALPHA, BETA or OBSLIK, or of the
%   whole TRANSMAT, leaves COUNTS unchanged up to rounding.
%
%   Output:
%     COUNTS  K-by-K: the sum over t = 1..T-1 of the table
%             ALPHA(i,t) * TRANSMAT(i,j) * BETA(j,t+1) * OBSLIK(j,t+1),
%             each table divided by its own total. For T >= 2 and positive
%             inputs the entries sum to T-1; with T = 1 COUNTS is all zero.
%             A step whose table sums to zero (an all-zero column of ALPHA,
%             for instance) makes every entry NaN.
%   It equals SUM (XI, 3) of CHAINSWEEP's five-output form up to rounding,
%   without holding the K-by-K-by-T array.
%
%   Errors (Octave shows them prefixed with "pairtally: "):
%     requires 4 inputs, and 1 output
%     inputs must all be real, double matrices
%     input sizes do not all agree
%     inputs must be full matrices: sparse inputs are not supported
%     inputs are too large: at most 2147483647 rows and columns
%     not enough memory for the K x K working table
%
%   Deterministic: the steps are added in a fixed order and no multiply-add
%   is fused, so the same inputs give the same bits on every run and on
%   every machine with IEEE double arithmetic.
%
%   Speed: large calls run on all processors and the widest vector unit;
%   the results do not depend on either. Set the environment variable
%   HMM_PLUGINS_THREADS to a count (1: the calling thread only), e.g.
%   setenv ('HMM_PLUGINS_THREADS', '1'); it is read at every call.
%
%   Example (two states, five steps, so four moves):
%     prior = [0.5; 0.5];
%     transmat = [0.8 0.2; 0.2 0.8];
%     obslik = [0.9 0.2 0.1 0.7 0.8; 0.1 0.7 0.8 0.3 0.1];
%     [gamma, alpha, beta, loglik] = chainsweep (prior, transmat, obslik);
%     counts = pairtally (alpha, beta, transmat, obslik)
%     % counts = [1.3443 0.6454; 0.7453 1.2651]
%
%   See also CHAINSWEEP, PATHTRACE, BESTMATCH.

error ('pairtally: compiled plug-in not found, run the build first');

%!test
%! ## The example above.
%! prior = [0.5; 0.5];
%! transmat = [0.8 0.2; 0.2 0.8];
%! obslik = [0.9 0.2 0.1 0.7 0.8; 0.1 0.7 0.8 0.3 0.1];
%! [gamma, alpha, beta, loglik] = chainsweep (prior, transmat, obslik);
%! counts = pairtally (alpha, beta, transmat, obslik);
%! assert (counts, [1.3443 0.6454; 0.7453 1.2651], 5e-5);
%! assert (sum (counts(:)), 4, 8 * eps);

%!test
%! ## The sum over the steps of each step's table, normalised, written out.
%! rand ("state", 9);
%! K = 3; T = 15;
%! alpha = rand (K, T); beta = rand (K, T); A = rand (K); obslik = rand (K, T);
%! expected = zeros (K);
%! for t = 1:T-1
%!   X = A .* (alpha(:, t) * (beta(:, t+1) .* obslik(:, t+1))');
%!   expected += X / sum (X(:));
%! endfor
%! assert (pairtally (alpha, beta, A, obslik), expected, 1e-13);

%!test
%! ## The same bits on one thread and on two.
%! rand ("state", 10);
%! K = 96; T = 3000;
%! alpha = rand (K, T); beta = rand (K, T); A = rand (K); obslik = rand (K, T);
%! saved = getenv ("HMM_PLUGINS_THREADS");
%! unwind_protect
%!   setenv ("HMM_PLUGINS_THREADS", "1");
%!   one = pairtally (alpha, beta, A, obslik);
%!   setenv ("HMM_PLUGINS_THREADS", "2");
%!   two = pairtally (alpha, beta, A, obslik);
%! unwind_protect_cleanup
%!   setenv ("HMM_PLUGINS_THREADS", saved);
%! end_unwind_protect
%! assert (isequal (one, two));

%!error <requires 4 inputs, and 1 output> c = pairtally (1, 1, 1)
%!error <input sizes do not all agree> c = pairtally (ones (2, 3), ones (2, 3), ones (2), ones (3, 2))
