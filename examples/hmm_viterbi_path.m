function path = hmm_viterbi_path (y, model)
% HMM_VITERBI_PATH  Most likely state sequence of a Gaussian hidden Markov model.
%   PATH = HMM_VITERBI_PATH (Y, MODEL) returns the 1-by-T sequence of states
%   (numbers 1..K) that maximises the joint probability of states and
%   observations Y under MODEL (fields as from HMM_FIT_GAUSSIAN).
%
%   PATHTRACE runs the max-product recursion with every column scaled to sum
%   to one (C = 1), so long sequences do not underflow; the best final state
%   and the walk back along the back-pointers are done here.

  obslik = hmm_gaussian_obslik (y, model);
  [D, P] = pathtrace (obslik, model.prior, model.transmat, 1);
  T = size (D, 2);
  path = zeros (1, T);
  [~, path(T)] = max (D(:, T));
  for t = T:-1:2
    path(t - 1) = P(path(t), t);
    if path(t - 1) == 0
      error ('hmm_viterbi_path: no path reaches step %d (every score is zero or not a number)', t);
    end
  end
end

%!test
%! ## Far apart means: the path follows the nearest mean.
%! model.prior = [0.5; 0.5];
%! model.transmat = [0.9 0.1; 0.1 0.9];
%! model.mu = [0; 10];
%! model.sigma2 = [1; 1];
%! assert (hmm_viterbi_path ([0.1 -0.3 9.8 10.2 0.4], model), [1 1 2 2 1]);

%!test
%! ## A chain that cannot change state keeps one state, whatever the data say.
%! model = struct ("prior", [0.5; 0.5], "transmat", eye (2), "mu", [0; 4], "sigma2", [1; 1]);
%! assert (hmm_viterbi_path ([0 0 5 0], model), [1 1 1 1]);
