function [sequences, states] = hmm_sample_sequences (model, lengths, seed)
% HMM_SAMPLE_SEQUENCES  Many sequences drawn from a discrete hidden Markov model.
%   [SEQUENCES, STATES] = HMM_SAMPLE_SEQUENCES (MODEL, LENGTHS, SEED) draws
%   one sequence for each element of LENGTHS from MODEL, whose fields are
%   prior (K-by-1), transmat (K-by-K, rows: from, columns: to) and emission
%   (K-by-M: emission(k,s) is the probability of symbol s in state k).
%   SEQUENCES{i} is the 1-by-LENGTHS(i) row of symbols (1..M), STATES{i} its
%   hidden states (1..K).
%
%   The numbers come from Park-Miller generators written out below, one per
%   sequence, rather than from RAND, so a given SEED (a whole number from 1
%   to 2^31-2) gives the same sequences in Octave and MATLAB on every
%   machine. All sequences advance one step at a time, side by side.

  N = numel (lengths);
  K = numel (model.prior);
  M = size (model.emission, 2);
  priorCdf = cumsum (model.prior(:)') / sum (model.prior);
  stateCdf = cumsum (model.transmat, 2) ./ sum (model.transmat, 2);
  symbolCdf = cumsum (model.emission, 2) ./ sum (model.emission, 2);

  % Exact in double precision: 16807 * (2^31 - 2) < 2^53. Each sequence's
  % generator starts from its own seed and skips its first draws.
  modulus = 2147483647;
  generator = mod (seed + (1:N)' * 1000003, modulus - 1) + 1;
  for skip = 1:8
    generator = mod (16807 * generator, modulus);
  end

  longest = max ([lengths(:); 0]);
  S = zeros (N, longest);
  Y = zeros (N, longest);
  for t = 1:longest
    generator = mod (16807 * generator, modulus);
    if t == 1
      cdf = repmat (priorCdf, N, 1);
    else
      cdf = stateCdf(S(:, t - 1), :);
    end
    S(:, t) = min (K, 1 + sum (generator / modulus > cdf, 2));
    generator = mod (16807 * generator, modulus);
    Y(:, t) = min (M, 1 + sum (generator / modulus > symbolCdf(S(:, t), :), 2));
  end

  sequences = cell (1, N);
  states = cell (1, N);
  for i = 1:N
    sequences{i} = Y(i, 1:lengths(i));
    states{i} = S(i, 1:lengths(i));
  end
end

%!test
%! ## The same sequences for the same seed, of the lengths asked for.
%! model.prior = [0.6; 0.4];
%! model.transmat = [0.9 0.1; 0.2 0.8];
%! model.emission = [0.7 0.2 0.1; 0.1 0.3 0.6];
%! [y1, s1] = hmm_sample_sequences (model, [5 1 40], 17);
%! [y2, s2] = hmm_sample_sequences (model, [5 1 40], 17);
%! assert (isequal (y1, y2) && isequal (s1, s2));
%! assert (cellfun ("numel", y1), [5 1 40]);
%! assert (all (ismember ([y1{:}], 1:3)) && all (ismember ([s1{:}], 1:2)));
%! assert (! isequal (hmm_sample_sequences (model, [5 1 40], 18), y1));

%!test
%! ## The frequencies follow the model.
%! model.prior = [1; 0];
%! model.transmat = [0.9 0.1; 0.3 0.7];
%! model.emission = [0.8 0.2; 0.25 0.75];
%! [y, s] = hmm_sample_sequences (model, 2000 * ones (1, 5), 3);
%! s = [s{:}]; y = [y{:}];
%! [~, starts] = hmm_sample_sequences (model, ones (1, 50), 9);
%! assert ([starts{:}], ones (1, 50));
%! assert (mean (s == 1), 0.75, 0.03);
%! assert (mean (y(s == 1) == 1), 0.8, 0.02);
%! assert (mean (y(s == 2) == 2), 0.75, 0.03);
