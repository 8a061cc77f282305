## chainsweep in Octave: results against two m-code references, every message.

%!function [prior, transmat, obslik] = random_chain (K, T)
%!  prior = rand (K, 1);
%!  transmat = rand (K, K);
%!  obslik = rand (K, T);
%!  ## Some exact zeros and tiny values, as real likelihoods have.
%!  obslik(rand (K, T) < 0.05) = 0;
%!  obslik(rand (K, T) < 0.05) *= 1e-200;
%!endfunction

%!function [gamma, alpha, beta, xi, loglik] = textbook_smoother (prior, A, obslik)
%!  ## The usual vectorised formulation, independent of the plug-in's order.
%!  [K, T] = size (obslik);
%!  alpha = zeros (K, T); beta = ones (K, T); xi = zeros (K, K, T);
%!  c = zeros (1, T);
%!  a = prior(:) .* obslik(:,1); c(1) = sum (a); alpha(:,1) = a / c(1);
%!  for t = 2:T
%!    a = (A' * alpha(:,t-1)) .* obslik(:,t); c(t) = sum (a); alpha(:,t) = a / c(t);
%!  endfor
%!  for t = T-1:-1:1
%!    b = A * (beta(:,t+1) .* obslik(:,t+1)); beta(:,t) = b / sum (b);
%!    x = A .* (alpha(:,t) * (beta(:,t+1) .* obslik(:,t+1))');
%!    xi(:,:,t) = x / sum (x(:));
%!  endfor
%!  gamma = alpha .* beta; gamma = gamma ./ sum (gamma, 1);
%!  loglik = sum (log (c));
%!endfunction

%!test
%! ## Bit for bit against the reference on random chains, 4 and 5 results.
%! rand ("seed", 7);
%! sizes = [0 1; 1 1; 1 200; 2 1; 3 17; 40 1; 40 200; 25 60; 7 123; 0 9];
%! for trial = 1:rows (sizes) + 12
%!   if (trial <= rows (sizes))
%!     K = sizes(trial,1); T = sizes(trial,2);
%!   else
%!     K = randi ([0 40]); T = randi ([1 200]);
%!   endif
%!   [prior, transmat, obslik] = random_chain (K, T);
%!   [g, a, b, x, l] = chainsweep_reference (prior, transmat, obslik);
%!   [g5, a5, b5, x5, l5] = chainsweep (prior, transmat, obslik);
%!   [g4, a4, b4, l4] = chainsweep (prior', transmat, obslik);
%!   assert (isequal (g5, g, g4) && isequal (a5, a, a4) && isequal (b5, b, b4), ...
%!           "messages differ at K=%d, T=%d", K, T);
%!   assert (isequal (x5, x) && isequal (l5, l, l4), "xi or loglik differ at K=%d, T=%d", K, T);
%!   assert (size (x5), [K K T](1:max (2, ndims (x5))));
%! endfor

%!test
%! ## Within 1e-12 of the textbook formulation.
%! rand ("seed", 11);
%! for trial = 1:10
%!   K = randi ([1 12]); T = randi ([2 80]);
%!   prior = rand (K, 1); transmat = rand (K, K); obslik = rand (K, T);
%!   [g, a, b, x, l] = textbook_smoother (prior, transmat, obslik);
%!   [g5, a5, b5, x5, l5] = chainsweep (prior, transmat, obslik);
%!   assert (g5, g, 1e-12); assert (a5, a, 1e-12); assert (b5, b, 1e-12);
%!   assert (x5, x, 1e-12); assert (l5, l, 1e-12 * abs (l));
%! endfor

%!test
%! ## Two steps under the identity: halves everywhere, log-likelihood 0.
%! [g, a, b, x, l] = chainsweep ([0.5 0.5], eye (2), ones (2));
%! assert (g, 0.5 * ones (2)); assert (a, 0.5 * ones (2));
%! assert (b, [0.5 1; 0.5 1]); assert (l, 0);
%! assert (x, cat (3, 0.5 * eye (2), zeros (2)));

%!test
%! ## An impossible observation is no error: log-likelihood -Inf.
%! [g, a, b, l] = chainsweep ([1 0], eye (2), [1 1 1; 1 1 1] .* [1 0 1; 1 0 1]);
%! assert (l, -Inf); assert (a(:,2:3), zeros (2));

%!test
%! [g, a, b, x, l] = chainsweep (zeros (1, 0), [], zeros (0, 3));
%! assert (size (g), [0 3]); assert (size (x), [0 0 3]); assert (l, -Inf);

%!error <chainsweepC requires 3 inputs and 4-5 outputs> [a, b, c] = chainsweep (1, 1, 1)
%!error <chainsweepC requires 3 inputs and 4-5 outputs> [a, b, c, d, e, f] = chainsweep (1, 1, 1)
%!error <chainsweepC requires 3 inputs and 4-5 outputs> [a, b, c, d] = chainsweep (1, 1)
%!error <The transition matrix must be of size KxK.> [a, b, c, d] = chainsweep ([1 1], ones (2, 3), ones (2, 1))
%!error <The transition matrix must be of size KxK.> [a, b, c, d] = chainsweep ([1 1], ones (3, 2), ones (3, 1))
%!error <The obslik must have K rows.> [a, b, c, d] = chainsweep ([1 1], ones (2), ones (3, 1))
%!error <must be of size KxK> [a, b, c, d] = chainsweep ([1 1], ones (2, 3), ones (3, 1))
%!error <We don't want to normalize if A contains a negative value. This is a logical error.>
%! [a, b, c, d] = chainsweep ([1 1], [1 -1; 1 1], ones (2, 3));
%!error <real, full \(non-sparse\) double> [a, b, c, d] = chainsweep ([1 1], single (eye (2)), ones (2, 3))
%!error <real, full \(non-sparse\) double> [a, b, c, d] = chainsweep ([1 1], sparse (eye (2)), ones (2, 3))
%!error <real, full \(non-sparse\) double> [a, b, c, d] = chainsweep ([1 1i], eye (2), ones (2, 3))
%!error <at least one column> [a, b, c, d] = chainsweep ([1 1], eye (2), ones (2, 0))

%!test
%! ## A negative pairwise product is refused also with four results; one
%! ## that underflows to -0.0 is not, and stays -0.0 in the table.
%! fail ("[g, a, b, l] = chainsweep ([1 1], [1 -0.5; 1 1], ones (2))", "negative value");
%! [g, a, b, x, l] = chainsweep ([1e-10 1], [1 -1e-300; 1 1], [1 1; 1 1e-20]);
%! [g4, a4, b4, l4] = chainsweep ([1e-10 1], [1 -1e-300; 1 1], [1 1; 1 1e-20]);
%! assert (x(1,2,1) == 0 && 1 / x(1,2,1) == -Inf);
%! assert (isequal (g, g4) && isequal (l, l4));

%!test
%! ## An empty chain gives its empty results at once, however long.
%! [g, a, b, x, l] = chainsweep ([], [], zeros (0, 2^31 - 1));
%! assert (size (x), [0 0 2^31-1]); assert (size (g), [0 2^31-1]); assert (l, -Inf);

%!error <at most 2147483647 columns> [a, b, c, d] = chainsweep ([], [], zeros (0, 2^31))
%!error <at most 2147483647 columns> [a, b, c, d, e] = chainsweep ([], [], zeros (0, 2^31))
%!error <must be of size KxK> [a, b, c, d] = chainsweep (sparse (2^62, 4), [], zeros (0, 3))
%!error <must be of size KxK> [a, b, c, d] = chainsweep (sparse (2^62, 4), eye (2), ones (2, 3))
