% BESTMATCH  Least-cost assignment of rows to columns (Munkres' method).
%   [ASSIGNMENT, COST] = BESTMATCH (COSTMATRIX)
%   ASSIGNMENT = BESTMATCH (COSTMATRIX)
%
%   Pairs the rows of an M-by-N cost matrix with its columns, each row with
%   at most one column and each column with at most one row, min(M,N) pairs
%   in all, so that the total cost is least. An infinite cost marks a
%   forbidden pair: the solution uses as few of them as any complete
%   assignment allows (among those, it has the least finite total), and
%   each forbidden pair that it cannot avoid is reported as no pair.
%
%   Input:
%     COSTMATRIX  M-by-N real, full double matrix of non-negative costs; Inf
%                 (or -Inf) marks a forbidden pair. NaN is refused. An empty
%                 matrix is allowed.
%
%   Outputs:
%     ASSIGNMENT  M-by-1: ASSIGNMENT(i) is the column paired with row i, or 0
%                 when row i has no pair (more rows than columns, or only a
%                 forbidden pair left for it).
%     COST        1-by-1: the sum of COSTMATRIX(i, ASSIGNMENT(i)) over the
%                 rows with a pair. 0 when there is none, for example when
%                 every cost is infinite.
%
%   Errors (Octave shows them prefixed with "bestmatch: "):
%     requires 1 input and at most 2 outputs
%     The cost matrix must be a real, full (non-sparse), two-dimensional
%       double matrix.
%     All matrix elements have to be non-negative.  (-0 counts as 0)
%     Matrix elements must not be NaN.
%     The finite costs are too large: infinite costs cannot be replaced by a
%       finite value.  (forbidden pairs are solved as pairs of a cost larger
%       than any complete assignment of finite costs, which must be finite)
%     The finite costs are too large: the working costs overflowed.
%     The cost matrix is too large.
%     Not enough memory for the working buffers.
%     Internal error: the assignment did not finish within its step limit.
%
%   Deterministic: among several least-cost assignments the same one is
%   returned on every run and every machine.
%
%   Example (three workers, three jobs; worker 3 cannot do job 1):
%     costMatrix = [4 1 3; 2 0 5; Inf 2 2];
%     [assignment, cost] = bestmatch (costMatrix)
%     % assignment = [2; 1; 3], cost = 5
%
%   See also CHAINSWEEP, PAIRTALLY, PATHTRACE.

error ('bestmatch: compiled plug-in not found, run the build first');

%!test
%! ## The example above.
%! [assignment, cost] = bestmatch ([4 1 3; 2 0 5; Inf 2 2]);
%! assert (assignment, [2; 1; 3]);
%! assert (cost, 5);

%!test
%! ## The least cost of all n! assignments of a small problem.
%! rand ("state", 4);
%! n = 6;
%! C = rand (n);
%! orders = perms (1:n);
%! costs = sum (C(sub2ind ([n, n], repmat (1:n, rows (orders), 1), orders)), 2);
%! [assignment, cost] = bestmatch (C);
%! assert (sort (assignment'), 1:n);
%! assert (cost, sum (C(sub2ind ([n, n], 1:n, assignment'))));
%! assert (cost, min (costs), 1e-12);

%!test
%! ## Forbidden pairs that no complete assignment avoids: a row left out is 0.
%! [assignment, cost] = bestmatch ([1 Inf; 2 Inf]);
%! assert (assignment, [1; 0]);
%! assert (cost, 1);
%! ## More columns than rows: every row gets a column of its own.
%! [assignment, cost] = bestmatch ([3 1 2; 1 3 2]);
%! assert (assignment, [2; 1]);
%! assert (cost, 2);

%!error <All matrix elements have to be non-negative> [a, c] = bestmatch ([1 -1])
%!error <must not be NaN> [a, c] = bestmatch ([NaN 1; 1 1])
