function [y, states, model] = hmm_synthetic_chain (T, seed)
% HMM_SYNTHETIC_CHAIN  A hidden Markov chain with Gaussian emissions and known states.
%   [Y, STATES, MODEL] = HMM_SYNTHETIC_CHAIN (T, SEED) draws T steps of a
%   three-state chain: STATES (1-by-T) are the true states, Y (1-by-T) the
%   observations, MODEL the true parameters (fields prior, transmat, mu,
%   sigma2, as used by HMM_FIT_GAUSSIAN).
%
%   The numbers come from a Park-Miller generator written out below rather
%   than from RAND, so a given SEED (a whole number from 1 to 2^31-2) gives the
%   same chain in Octave and in MATLAB, on every machine. The state means are
%   deliberately not in ascending order: a fitted model numbers its states
%   differently, and only a matching of labels can compare the two.

  model.prior = [1; 1; 1] / 3;
  model.transmat = [0.95 0.03 0.02
                    0.04 0.94 0.02
                    0.02 0.03 0.95];
  model.mu = [2.5; 5; 0];
  model.sigma2 = [1; 1; 1];

  % Exact in double precision: 16807 * (2^31 - 2) < 2^53.
  state = seed;
  u = zeros (1, 3 * T);
  for n = 1:numel (u)
    state = mod (16807 * state, 2147483647);
    u(n) = state / 2147483647;
  end

  % One uniform number per step picks the state, two give a Box-Muller normal.
  K = numel (model.prior);
  states = zeros (1, T);
  y = zeros (1, T);
  for t = 1:T
    if t == 1
      weights = model.prior';
    else
      weights = model.transmat(states(t - 1), :);
    end
    states(t) = min (K, 1 + sum (u(3 * t - 2) > cumsum (weights) / sum (weights)));
    normal = sqrt (-2 * log (u(3 * t - 1))) * cos (2 * pi * u(3 * t));
    y(t) = model.mu(states(t)) + sqrt (model.sigma2(states(t))) * normal;
  end
end

%!test
%! ## The same chain for the same seed, another for another; the states
%! ## stay put most of the time, as the transition matrix says.
%! [y1, s1, model] = hmm_synthetic_chain (500, 42);
%! [y2, s2] = hmm_synthetic_chain (500, 42);
%! assert (isequal (y1, y2) && isequal (s1, s2));
%! assert (! isequal (hmm_synthetic_chain (500, 43), y1));
%! assert (all (ismember (s1, 1:3)));
%! assert (mean (diff (s1) != 0), 0.05, 0.03);
%! assert (mean (y1(s1 == 2)), model.mu(2), 0.3);
