## pathtrace in GNU Octave: usage text, result slots, refusals, bit-exact
## agreement with the plain-loop reference and best paths as hmmviterbi finds
## them. Run with: test pathtrace_test (plug-in and this folder on the path).

%!function same = same_bits (a, b)
%!  ## isequal on the bit patterns, so -0 differs from +0. NaNs count as equal
%!  ## whatever their sign: which NaN operand an operation passes on is left
%!  ## open by IEEE 754, and compilers swap the operands of a product.
%!  a(isnan (a)) = NaN;
%!  b(isnan (b)) = NaN;
%!  same = isequal (size (a), size (b)) ...
%!         && isequal (typecast (a(:), "uint64"), typecast (b(:), "uint64"));
%!endfunction

%!function O = random_scores (K, N, kind)
%!  switch (kind)
%!    case "uniform"
%!      O = rand (K, N);
%!    case "coarse"     # few distinct values: ties and zero columns
%!      O = round (2 * rand (K, N)) / 2;
%!    case "wide"       # spans the single range: underflow and subnormals
%!      O = 10 .^ (-45 * rand (K, N));
%!    case "special"    # NaN, infinities, zeros and negative scores
%!      O = rand (K, N) - 0.2;
%!      O(rand (K, N) < 0.02) = NaN;
%!      O(rand (K, N) < 0.02) = Inf;
%!      O(rand (K, N) < 0.02) = -Inf;
%!      O(rand (K, N) < 0.05) = 0;
%!  endswitch
%!endfunction

%!function path = trace_back (D, P)
%!  ## The caller's half of Viterbi: best final state, then the back-pointers.
%!  N = columns (D);
%!  path = zeros (1, N);
%!  [~, path(N)] = max (D(:,N));
%!  for t = N:-1:2
%!    path(t-1) = P(path(t), t);
%!  endfor
%!endfunction

%!function [path, unique] = brute_force_best_path (seq, trans, emis)
%!  ## Every path of the model, scored in double with hmmviterbi's convention:
%!  ## state 1 before the first emission. hmmviterbi also chooses the final
%!  ## state after one more transition, so a path counts as unique only when
%!  ## it is best with and without that transition, by a margin far beyond
%!  ## single-precision rounding.
%!  K = rows (trans);
%!  N = numel (seq);
%!  paths = dec2base (0:K^N-1, K, N) - "0" + 1;
%!  logp = log (trans(1, paths(:,1)))' + log (emis(paths(:,1), seq(1)));
%!  for t = 2:N
%!    logp += log (trans(sub2ind ([K K], paths(:,t-1), paths(:,t)))) ...
%!            + log (emis(paths(:,t), seq(t)));
%!  endfor
%!  [sorted, order] = sort (logp, "descend");
%!  [sorted_on, order_on] = sort (logp + max (log (trans(paths(:,N), :)), [], 2), "descend");
%!  path = paths(order(1), :);
%!  margin = @(v) numel (v) == 1 || v(1) - v(2) > 1e-3;
%!  unique = margin (sorted) && margin (sorted_on) && order(1) == order_on(1);
%!endfunction

## Usage text and result slots

%!test
%! usage = ["[D,P,S] = pathtrace(O,R,T,C)\n" ...
%!          "  O is local cost, R is priors, T is transmat, C is flag to normalize each column\n" ...
%!          "  D is matrix of best scores, P returns traceback, S is vector of norm scales\n"];
%! assert (evalc ("pathtrace ()"), sprintf (usage));
%! assert (evalc ("pathtrace (1, 1, 1)"), sprintf (usage));

%!test
%! ## Four inputs and no result requested: nothing printed, nothing returned.
%! clear ans;
%! assert (evalc ("pathtrace (0.5, 1, 1, 1)"), "");
%! assert (! exist ("ans", "var"));

%!error <Too few inputs: O, R, T and C are all needed> D = pathtrace (1, 1, 1);
%!error <Too few inputs> [D, P] = pathtrace ();

%!test
%! ## Each result requested gets its slot; the values do not depend on how many.
%! O = [0.5 0.1 0.3; 0.2 0.6 0.3];
%! D1 = pathtrace (O, [0.5 0.5], [0.9 0.2; 0.1 0.8], 1);
%! [D2, P2] = pathtrace (O, [0.5 0.5], [0.9 0.2; 0.1 0.8], 1);
%! [D3, P3, S3] = pathtrace (O, [0.5 0.5], [0.9 0.2; 0.1 0.8], 1, "ignored");
%! assert (same_bits (D1, D3) && same_bits (D2, D3) && same_bits (P2, P3));
%! assert (same_bits (S3, [2.857142925262451 4.964539051055908 4.006819725036621]));

%!test
%! [D, P, S] = pathtrace (zeros (3, 0), ones (3, 1), eye (3), 1);
%! assert (size (D), [3 0]);
%! assert (size (P), [3 0]);
%! assert (size (S), [1 0]);
%! [D, P, S] = pathtrace (zeros (0, 2), [], [], 1);
%! assert (size (D), [0 2]);
%! assert (S, [Inf Inf]);

## Refusals

%!error <must be real, full \(non-sparse\) double arrays> D = pathtrace (single (1), 1, 1, 1);
%!error <must be real, full> D = pathtrace (1, 1, sparse (1), 1);
%!error <R must hold at least K elements> D = pathtrace (ones (3, 2), [1 1], eye (3), 1);
%!error <C must not be empty> D = pathtrace (ones (3, 2), [1 1 1], eye (3), []);

## Bit for bit against the plain-loop reference

%!test
%! rand ("state", 20240601);
%! kinds = {"uniform", "coarse", "wide", "special"};
%! switches = {0, 1, NaN, -0, -1, [0 1]};
%! sizes = [0 1; 1 1; 1 200; 40 1; 40 200; randi([0 40], 30, 1), randi([1 200], 30, 1)];
%! for trial = 1:rows (sizes)
%!   K = sizes(trial, 1);
%!   N = sizes(trial, 2);
%!   kind = kinds{mod (trial, numel (kinds)) + 1};
%!   C = switches{mod (trial, numel (switches)) + 1};
%!   O = random_scores (K, N, kind);
%!   R = random_scores (1, K + mod (trial, 3), kind);   # a row, sometimes longer than K
%!   T = random_scores (K, K, kind);
%!   [D, P, S] = pathtrace (O, R, T, C);
%!   [Dr, Pr, Sr] = pathtrace_reference (O, R, T, C);
%!   where = sprintf ("trial %d: K = %d, N = %d, %s, C(1) = %g", trial, K, N, kind, C(1));
%!   assert (same_bits (D, Dr), where);
%!   assert (same_bits (P, Pr), where);
%!   assert (same_bits (S, Sr), where);
%!   if (! any (isnan (Dr(:))))
%!     assert (isequal (D, Dr) && isequal (P, Pr) && isequal (S, Sr), where);
%!   endif
%! endfor

## Best paths as hmmviterbi finds them

%!test
%! pkg load statistics
%! rand ("state", 7);
%! checked = 0;
%! for trial = 1:300
%!   K = randi ([2 4]);
%!   M = randi ([2 4]);
%!   N = randi ([1 7]);
%!   trans = rand (K, K) .^ 3;
%!   trans ./= sum (trans, 2);
%!   emis = rand (K, M) .^ 3;
%!   emis ./= sum (emis, 2);
%!   seq = randi (M, 1, N);
%!   [expected, unique] = brute_force_best_path (seq, trans, emis);
%!   if (! unique)
%!     continue;
%!   endif
%!   assert (hmmviterbi (seq, trans, emis), expected);
%!   O = emis(:, seq);
%!   R = trans(1, :);          # the hidden step before the first emission
%!   for C = [0 1]
%!     [D, P] = pathtrace (O, R, trans, C);
%!     assert (isequal (trace_back (D, P), expected), sprintf ("trial %d, C = %d", trial, C));
%!   endfor
%!   checked += 1;
%! endfor
%! assert (checked > 250);
