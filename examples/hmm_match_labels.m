function [labelOf, errors] = hmm_match_labels (decoded, truth, K)
% HMM_MATCH_LABELS  Match fitted state labels to true ones, fewest disagreements.
%   [LABELOF, ERRORS] = HMM_MATCH_LABELS (DECODED, TRUTH, K) takes two state
%   sequences of equal length with values 1..K. A fitted model numbers its
%   states arbitrarily, so DECODED agrees with TRUTH only up to a renaming.
%   LABELOF(i) is the true label given to fitted state i such that the renamed
%   sequence LABELOF(DECODED) disagrees with TRUTH at the fewest steps, ERRORS.
%
%   With N(i,j) the number of steps decoded i whose true state is j, the cost
%   of naming i as j is the number of steps decoded i that are not j:
%   sum (N(i,:)) - N(i,j). BESTMATCH finds the least-cost assignment, whose
%   total is exactly the number of disagreements.

  N = accumarray ([decoded(:), truth(:)], 1, [K, K]);
  cost = sum (N, 2) - N;
  [labelOf, errors] = bestmatch (cost);
  labelOf = labelOf(:)';
end

%!test
%! ## Fitted states 1, 2, 3 are true states 2, 3, 1; one step disagrees.
%! truth = [1 1 2 2 3 3 3];
%! decoded = [3 3 1 1 2 2 1];
%! [labelOf, errors] = hmm_match_labels (decoded, truth, 3);
%! assert (labelOf, [2 3 1]);
%! assert (errors, 1);
%! assert (sum (labelOf(decoded) != truth), errors);

%!test
%! ## Identical sequences need no renaming.
%! [labelOf, errors] = hmm_match_labels ([1 2 2 1], [1 2 2 1], 2);
%! assert (labelOf, [1 2]);
%! assert (errors, 0);
