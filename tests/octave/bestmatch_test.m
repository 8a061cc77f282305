## bestmatch in Octave: results against the m-code reference, the worked
## examples, every message, and no call that runs without end.

%!function costs = random_costs (M, N, kind)
%!  switch (kind)
%!    case 1  # uniform
%!      costs = rand (M, N);
%!    case 2  # small integers: many ties
%!      costs = randi ([1 6], M, N);
%!    case 3  # small integers with forbidden pairs
%!      costs = randi ([0 9], M, N);
%!      costs(rand (M, N) < 0.3) = Inf;
%!    otherwise  # mostly forbidden, some -Inf
%!      costs = randi ([0 3], M, N);
%!      costs(rand (M, N) < 0.6) = Inf;
%!      costs(rand (M, N) < 0.1) = -Inf;
%!  endswitch
%!endfunction

%!test
%! ## Same assignment and total as the reference, bit for bit: listed sizes
%! ## (rectangles both ways, empty ones), then random ones.
%! rand ("seed", 3);
%! sizes = [1 1; 1 5; 5 1; 3 3; 4 7; 7 4; 10 25; 25 10; 100 100; 60 150; 150 60; 0 4; 4 0];
%! for trial = 1:rows (sizes) + 60
%!   if (trial <= rows (sizes))
%!     M = sizes(trial,1); N = sizes(trial,2);
%!   else
%!     M = randi ([1 30]); N = randi ([1 30]);
%!   endif
%!   for kind = 1:4
%!     costs = random_costs (M, N, kind);
%!     [a, c] = bestmatch (costs);
%!     [ra, rc] = bestmatch_reference (costs);
%!     assert (isequal (a, ra) && isequal (c, rc), "differs at %dx%d, kind %d", M, N, kind);
%!   endfor
%! endfor

%!test
%! ## A few worked examples; empty matrices.
%! cases = {[1 2 3; 4 5 6; 7 8 9], [2; 1; 3], 15;
%!          ones(3, 2), [1; 2; 0], 2;
%!          [Inf Inf; 1 2], [0; 1], 1;
%!          [-Inf 1; 1 1], [2; 1], 2;
%!          [Inf -Inf], 0, 0;
%!          [-0 1; 1 -0], [1; 2], 0;
%!          zeros(0, 3), zeros(0, 1), 0;
%!          zeros(3, 0), [0; 0; 0], 0};
%! for k = 1:rows (cases)
%!   [a, c] = bestmatch (cases{k,1});
%!   assert (isequal (a, cases{k,2}) && isequal (c, cases{k,3}), "case %d", k);
%! endfor

%!test
%! ## An empty matrix answers at once, whatever the other count.
%! [a, c] = bestmatch (zeros (0, 2^31-1));
%! assert (size (a), [0 1]);
%! assert (c, 0);

%!test
%! ## One result, or none: the assignment alone.
%! assert (bestmatch ([1 2; 2 4]), [2; 1]);
%! bestmatch ([1 2; 2 4]);
%! assert (ans, [2; 1]);

%!test
%! ## The negative-cost message, exactly, at any position and however small.
%! for costs = {-1, [1 2; 3 -realmin], [NaN 1; -1e-300 1], [Inf -5]}
%!   try
%!     bestmatch (costs{1});
%!     error ("no error raised");
%!   catch err
%!     assert (err.message, "bestmatch: All matrix elements have to be non-negative.");
%!   end_try_catch
%! endfor

%!error <Matrix elements must not be NaN.> bestmatch ([NaN 1; 1 1])
%!error <Matrix elements must not be NaN.> bestmatch ([1 2; Inf NaN])
%!error <infinite costs cannot be replaced by a finite value> bestmatch ([1e308 Inf])
%!error <requires 1 input and at most 2 outputs> bestmatch ()
%!error <requires 1 input and at most 2 outputs> bestmatch (1, 2)
%!error <requires 1 input and at most 2 outputs> [a, b, c] = bestmatch (1)
%!error <must be a real, full \(non-sparse\), two-dimensional double matrix> bestmatch (single (1))
%!error <must be a real, full \(non-sparse\), two-dimensional double matrix> bestmatch (sparse (1))
%!error <must be a real, full \(non-sparse\), two-dimensional double matrix> bestmatch (1 + 2i)
%!error <must be a real, full \(non-sparse\), two-dimensional double matrix> bestmatch (ones (2, 2, 2))
