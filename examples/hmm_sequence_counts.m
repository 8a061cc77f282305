function counts = hmm_sequence_counts (sequences, model)
% HMM_SEQUENCE_COUNTS  Expected counts of sequences of a discrete hidden Markov model, one by one.
%   COUNTS = HMM_SEQUENCE_COUNTS (SEQUENCES, MODEL) is the E step of each
%   sequence of the cell array SEQUENCES (vectors of symbols 1..M) under
%   MODEL (fields prior, transmat, emission as in HMM_FIT_SEQUENCES): for
%   each sequence one CHAINSWEEP call gives the state marginals GAMMA and the
%   log-likelihood, one PAIRTALLY call the expected transition counts.
%   Column i of COUNTS holds sequence i's
%     COUNTS(1,i)                    log-likelihood
%     COUNTS(1+(1:K),i)              expected first state, GAMMA(:,1)
%     COUNTS(1+K+(1:K*K),i)          expected transitions (K-by-K, by columns)
%     COUNTS(1+K+K*K+(1:K*M),i)      expected emissions: (k,s) the expected
%                                    number of steps in state k showing s
%   HMM_FIT_SEQUENCES hands blocks of sequences to worker processes with it.

  K = numel (model.prior);
  M = size (model.emission, 2);
  counts = zeros (1 + K + K * K + K * M, numel (sequences));
  for i = 1:numel (sequences)
    y = sequences{i}(:)';
    obslik = model.emission(:, y);
    [gamma, alpha, beta, loglik] = chainsweep (model.prior, model.transmat, obslik);
    transitions = pairtally (alpha, beta, model.transmat, obslik);
    emissions = zeros (K, M);
    for s = 1:M
      emissions(:, s) = sum (gamma(:, y == s), 2);
    end
    counts(:, i) = [loglik; gamma(:, 1); transitions(:); emissions(:)];
  end
end

%!test
%! ## Against the forward-backward recursion written out, unscaled.
%! model.prior = [0.3; 0.7];
%! model.transmat = [0.6 0.4; 0.25 0.75];
%! model.emission = [0.5 0.4 0.1; 0.1 0.2 0.7];
%! y = [1 3 3 2 1 3];
%! B = model.emission(:, y);
%! T = numel (y);
%! a = zeros (2, T); b = ones (2, T);
%! a(:, 1) = model.prior .* B(:, 1);
%! for t = 2:T
%!   a(:, t) = (model.transmat' * a(:, t-1)) .* B(:, t);
%! endfor
%! for t = T-1:-1:1
%!   b(:, t) = model.transmat * (b(:, t+1) .* B(:, t+1));
%! endfor
%! likelihood = sum (a(:, T));
%! gamma = a .* b / likelihood;
%! transitions = zeros (2);
%! for t = 1:T-1
%!   transitions += model.transmat .* (a(:, t) * (b(:, t+1) .* B(:, t+1))') / likelihood;
%! endfor
%! emissions = [gamma(:, 1) + gamma(:, 5), gamma(:, 4), sum(gamma(:, [2 3 6]), 2)];
%! counts = hmm_sequence_counts ({y, uint8(y)}, model);
%! assert (counts(:, 1), [log(likelihood); gamma(:, 1); transitions(:); emissions(:)], 1e-13);
%! assert (counts(:, 2), counts(:, 1));

%!test
%! ## A sequence of one step has no transitions; no sequence, no counts.
%! model = struct ("prior", [1; 1] / 2, "transmat", [0.5 0.5; 0.5 0.5], "emission", [1 0; 0 1]);
%! counts = hmm_sequence_counts ({2}, model);
%! assert (counts', [log(0.5), 0 1, 0 0 0 0, 0 0 0 1]);
%! assert (size (hmm_sequence_counts ({}, model)), [11, 0]);
