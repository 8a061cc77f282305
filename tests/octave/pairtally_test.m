## pairtally through Octave: bit for bit against plain loops, the messages
## as the user sees them, and agreement with chainsweep's pairwise marginals.

%!function message = pairtally_refusal (nout, varargin)
%!  message = "";
%!  try
%!    if (nout == 0)
%!      pairtally (varargin{:});
%!    elseif (nout == 1)
%!      counts = pairtally (varargin{:});
%!    else
%!      [counts, extra] = pairtally (varargin{:});
%!    endif
%!  catch err
%!    message = err.message;
%!  end_try_catch
%!endfunction

%!test
%! rand ("state", 42);
%! sizes = [0 0; 0 7; 5 0; 5 1; 1 2; 40 2; 1 200; 40 200];
%! sizes = [sizes; randi([0 40], 40, 1), randi([0 200], 40, 1)];
%! for n = 1:rows (sizes)
%!   K = sizes(n, 1);
%!   T = sizes(n, 2);
%!   inputs = {rand(K, T), rand(K, T), rand(K, K), rand(K, T)};
%!   if (mod (n, 4) == 0)
%!     inputs = {randn(K, T), 1e3 * rand(K, T), randn(K, K), 1e-3 * rand(K, T)};
%!   endif
%!   assert (isequal (pairtally (inputs{:}), pairtally_reference (inputs{:})), true);
%! endfor

%!test
%! rand ("state", 7);
%! for trial = 1:25
%!   K = randi (8);
%!   T = randi (60);
%!   prior = rand (K, 1);
%!   prior = prior / sum (prior);
%!   transmat = rand (K);
%!   transmat = transmat ./ sum (transmat, 2);
%!   obslik = rand (K, T);
%!   [gamma, alpha, beta, xi, loglik] = chainsweep (prior, transmat, obslik);
%!   assert (pairtally (alpha, beta, transmat, obslik), sum (xi(:, :, 1:T-1), 3), 1e-12);
%! endfor

%!test
%! a = rand (3, 5);
%! A = rand (3);
%! usage = "pairtally: requires 4 inputs, and 1 output";
%! kind = "pairtally: inputs must all be real, double matrices";
%! assert (pairtally_refusal (0, a, a, A, a), usage);
%! assert (pairtally_refusal (2, a, a, A, a), usage);
%! assert (pairtally_refusal (1, a, complex (a), A), usage);
%! assert (pairtally_refusal (1, a, a, complex (A), a), kind);
%! assert (pairtally_refusal (1, a, a, A, a > 0.5), kind);
%! assert (pairtally_refusal (1, a, a, rand (3, 5), single (a)), kind);
%! assert (pairtally_refusal (1, a, a', A, a), "pairtally: input sizes do not all agree");
%! assert (pairtally_refusal (1, a, a, sparse (A), a),
%!         "pairtally: inputs must be full matrices: sparse inputs are not supported");
%! none = zeros (0, 2^32);
%! assert (pairtally_refusal (1, none, none, [], none),
%!         "pairtally: inputs are too large: at most 2147483647 rows and columns");
