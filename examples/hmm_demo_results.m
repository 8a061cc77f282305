function results = hmm_demo_results ()
% HMM_DEMO_RESULTS  Everything the demo shows, computed and returned, printing nothing.
%   RESULTS = HMM_DEMO_RESULTS () returns a struct with two fields:
%
%   nile       the annual Nile flow (HMM_NILE_DATA) fitted with two regimes:
%              year, volume, model, loglik (per EM iteration), path (the
%              decoded regime of every year), segments (one row per run of
%              equal regime: first year, last year, regime).
%   synthetic  a three-state chain with known states (HMM_SYNTHETIC_CHAIN):
%              y, states, trueModel, model, loglik, path (decoded with the
%              fitted model, fitted labels), labelOf (fitted state i is true
%              state labelOf(i), from HMM_MATCH_LABELS), errors, accuracy,
%              and for comparison oracleAccuracy (decoded with the true
%              parameters) and stepwiseAccuracy (each step given its most
%              likely state alone, true parameters, no chain).
%
%   HMM_DEMO prints these results; the tests check them.

  [year, volume] = hmm_nile_data ();
  [model, loglik] = hmm_fit_gaussian (volume, 2);
  path = hmm_viterbi_path (volume, model);
  results.nile = struct ('year', year, 'volume', volume, 'model', model, ...
                         'loglik', loglik, 'path', path, ...
                         'segments', runs_of (year, path));

  T = 1000;
  [y, states, trueModel] = hmm_synthetic_chain (T, 20240607);
  K = numel (trueModel.mu);
  [model, loglik] = hmm_fit_gaussian (y, K);
  path = hmm_viterbi_path (y, model);
  [labelOf, errors] = hmm_match_labels (path, states, K);
  oraclePath = hmm_viterbi_path (y, trueModel);
  [~, stepwisePath] = max (hmm_gaussian_obslik (y, trueModel), [], 1);
  results.synthetic = struct ( ...
      'y', y, 'states', states, 'trueModel', trueModel, 'model', model, ...
      'loglik', loglik, 'path', path, 'labelOf', labelOf, 'errors', errors, ...
      'accuracy', 1 - errors / T, ...
      'oracleAccuracy', mean (oraclePath == states), ...
      'stepwiseAccuracy', mean (stepwisePath == states));
end

function segments = runs_of (year, path)
  % One row [first year, last year, regime] per run of equal regime.
  starts = [1, find(diff(path) ~= 0) + 1];
  stops = [starts(2:end) - 1, numel(path)];
  segments = [year(starts)', year(stops)', path(starts)'];
end

%!test
%! ## The claims the demo prints.
%! results = hmm_demo_results ();
%! assert (results.nile.segments(:, 1:2), [1871 1898; 1899 1970]);
%! assert (results.synthetic.errors, 24);
%! assert (results.synthetic.accuracy >= results.synthetic.oracleAccuracy - 0.005);
%! assert (results.synthetic.accuracy > results.synthetic.stepwiseAccuracy + 0.1);
