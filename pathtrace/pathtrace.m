% PATHTRACE  Viterbi (max-product) scores and back-pointers of a hidden Markov chain.
%   [D, P, S] = PATHTRACE (O, R, T, C)
%   [D, P] = PATHTRACE (O, R, T, C)
%   D = PATHTRACE (O, R, T, C)
%   PATHTRACE  (fewer than four inputs and no output) prints a usage text.
%
%   For every state j and step t, D(j,t) is the score of the best path of
%   states that ends in j at step t, and P(j,t) the state at step t-1 on that
%   path. Choosing the best final state and following P back is left to the
%   caller (see the example).
%
%   Inputs (real, full double arrays; K states, N steps):
%     O  K-by-N local scores, e.g. observation likelihoods: O(j,t) weighs state
%        j at step t. Larger is better: the recursion multiplies and takes
%        maxima.
%     R  the prior weights of the states at step 1: its first K elements, in
%        any shape.
%     T  K-by-K transition weights: T(k,j) weighs a move from state k at step
%        t-1 to state j at step t (rows: from, columns: to). Its first K*K
%        elements are read.
%     C  normalisation switch: when C(1) is not 0 (NaN counts as not 0),
%        every column of D is scaled to sum to 1, which keeps long sequences
%        from underflowing. Only C(1) is read.
%
%   Outputs:
%     D  K-by-N best scores: D(j,1) = O(j,1)*R(j); D(j,t) = O(j,t) times the
%        largest D(k,t-1)*T(k,j) over k; each column then scaled when C(1) is
%        not 0.
%     P  K-by-N back-pointers: P(j,t) is the state k (1-based) of that
%        largest value; among equal values the lowest k. Column 1 is all 0,
%        and so is an entry whose candidates are all NaN or at most -1e20.
%     S  1-by-N scale factors: S(t) multiplied column t of D (1 / its sum);
%        all 0 when C(1) is 0. A column summing to 0 gives S(t) = Inf.
%   All three are computed in every call that asks for at least one output;
%   a call with no output computes nothing. N = 0 gives empty results.
%
%   Single precision: inputs and outputs are doubles, but the recursion
%   holds its intermediates in single precision (IEEE 754, round to nearest):
%   each product D(k,t-1)*T(k,j) and O(j,t)*R(j) is formed in double and
%   rounded to single, the running maximum is compared in single, the score
%   best*O(j,t) is rounded to single, and the column sums and the scale
%   factor 1/sum are single. With C(1) = 0, every D is a single-precision
%   value stored as a double; with scaling on, D is the double product of
%   two single values. Scores below about 1e-45 become 0 when rounded to
%   single, so use C = 1 for long chains. The results are deterministic:
%   the same bits on every run and on every machine with IEEE arithmetic.
%
%   Errors (Octave shows them prefixed with "pathtrace: "):
%     Too few inputs: O, R, T and C are all needed to return results.
%     O, R, T and C must be real, full (non-sparse) double arrays.
%     O is too large: its row and column counts must each fit a 32-bit
%       signed integer.
%     R must hold at least K elements, K being the row count of O.
%     T must hold at least K*K elements, K being the row count of O.
%     C must not be empty: its first element switches normalisation.
%
%   Example (the most likely state path):
%     prior = [0.5; 0.5];
%     transmat = [0.8 0.2; 0.2 0.8];
%     obslik = [0.9 0.2 0.1 0.7 0.8; 0.1 0.7 0.8 0.3 0.1];
%     [D, P] = pathtrace (obslik, prior, transmat, 1);
%     N = size (D, 2);
%     path = zeros (1, N);
%     [~, path(N)] = max (D(:, N));
%     for t = N:-1:2, path(t-1) = P(path(t), t); end
%     path
%     % path = [1 2 2 1 1]
%
%   See also CHAINSWEEP, PAIRTALLY, BESTMATCH.

error ('pathtrace: compiled plug-in not found, run the build first');

%!test
%! ## The example above.
%! prior = [0.5; 0.5];
%! transmat = [0.8 0.2; 0.2 0.8];
%! obslik = [0.9 0.2 0.1 0.7 0.8; 0.1 0.7 0.8 0.3 0.1];
%! [D, P] = pathtrace (obslik, prior, transmat, 1);
%! N = size (D, 2);
%! path = zeros (1, N);
%! [~, path(N)] = max (D(:, N));
%! for t = N:-1:2, path(t-1) = P(path(t), t); end
%! assert (path, [1 2 2 1 1]);

%!test
%! ## The best path of a small chain is the best of all K^N paths.
%! rand ("state", 11);
%! K = 3; N = 5;
%! prior = rand (K, 1); transmat = rand (K); obslik = rand (K, N);
%! [D, P, S] = pathtrace (obslik, prior, transmat, 1);
%! assert (P(:, 1), zeros (K, 1));
%! assert (size (S), [1, N]);
%! assert (sum (D), ones (1, N), 1e-6);
%! path = zeros (1, N);
%! [~, path(N)] = max (D(:, N));
%! for t = N:-1:2, path(t-1) = P(path(t), t); end
%! best = -Inf;
%! for code = 0:K^N - 1
%!   states = 1 + mod (floor (code ./ K .^ (0:N-1)), K);
%!   score = prior(states(1)) * obslik(states(1), 1);
%!   for t = 2:N
%!     score *= transmat(states(t-1), states(t)) * obslik(states(t), t);
%!   endfor
%!   if (score > best)
%!     best = score;
%!     bestStates = states;
%!   endif
%! endfor
%! assert (path, bestStates);

%!error <Too few inputs> D = pathtrace (1, 1, 1)
%!error <R must hold at least K elements> D = pathtrace (ones (2, 3), 1, ones (2), 1)
%!error <C must not be empty> D = pathtrace (ones (2, 3), [1 1], ones (2), [])
