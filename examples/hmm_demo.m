% HMM_DEMO  Hidden Markov models with chainsweep, pairtally, pathtrace and bestmatch.
%   Fits a two-regime model to the annual flow of the Nile and a three-state
%   model to a synthetic chain whose states are known, by expectation-
%   maximisation; decodes the most likely state paths; matches the fitted
%   state labels to the true ones; and writes a plot to hmm_demo.png in the
%   current folder when graphics are available.
%
%   Run it from this folder with the built plug-ins on the path, e.g. in
%   Octave:  addpath ('../build/octave'); hmm_demo

results = hmm_demo_results ();

fprintf ('Hidden Markov models with chainsweep, pairtally, pathtrace and bestmatch\n');
fprintf ('========================================================================\n\n');

%% 1. The Nile
nile = results.nile;
fprintf ('1. Annual flow of the Nile at Aswan, %d-%d (data/nile.csv, %d years)\n', ...
         nile.year(1), nile.year(end), numel (nile.year));
fprintf ('   Two-regime model with Gaussian emissions, fitted by EM:\n');
fprintf ('   chainsweep smooths (E step), pairtally counts the expected transitions.\n\n');
hmm_demo_print_loglik (nile.loglik);

[~, order] = sort (nile.model.mu, 'descend');
names = cell (1, 2);
names(order) = {'high', 'low'};
fprintf ('\n   regime   mean flow   std. dev.   P(stay one more year)\n');
for k = order(:)'
  fprintf ('   %-6s   %9.1f   %9.1f   %21.3f\n', names{k}, nile.model.mu(k), ...
           sqrt (nile.model.sigma2(k)), nile.model.transmat(k, k));
end
fprintf ('   (flow in 10^8 m^3 per year)\n');
fprintf ('\n   Most likely regimes (pathtrace and a back-trace):\n');
for s = 1:size (nile.segments, 1)
  fprintf ('     %d-%d  %-4s  (%d years)\n', nile.segments(s, 1), nile.segments(s, 2), ...
           names{nile.segments(s, 3)}, nile.segments(s, 2) - nile.segments(s, 1) + 1);
end

%% 2. A synthetic chain with known states
syn = results.synthetic;
K = numel (syn.trueModel.mu);
fprintf ('\n2. Synthetic chain: %d steps, %d states, true states known\n\n', numel (syn.y), K);
hmm_demo_print_loglik (syn.loglik);

fprintf ('\n   A fitted model numbers its states arbitrarily. bestmatch pairs fitted\n');
fprintf ('   and true labels so that the decoded path disagrees at the fewest steps:\n');
fprintf ('   fitted state   mean    sd  ->  true state   mean    sd\n');
for k = 1:K
  j = syn.labelOf(k);
  fprintf ('   %12d  %5.2f  %4.2f  ->  %10d  %5.2f  %4.2f\n', k, syn.model.mu(k), ...
           sqrt (syn.model.sigma2(k)), j, syn.trueModel.mu(j), sqrt (syn.trueModel.sigma2(j)));
end
fprintf ('\n   Decoding accuracy                                              correct\n');
fprintf ('   fitted model, most likely path, labels matched by bestmatch   %5.1f %%\n', ...
         100 * syn.accuracy);
fprintf ('   true parameters, most likely path                             %5.1f %%\n', ...
         100 * syn.oracleAccuracy);
fprintf ('   true parameters, each step on its own (no chain)              %5.1f %%\n', ...
         100 * syn.stepwiseAccuracy);

%% 3. The plot
file = fullfile (pwd, 'hmm_demo.png');
try
  hmm_demo_plot (results, file);
  fprintf ('\n3. Plot written to %s\n', file);
catch err
  fprintf ('\n3. No plot: %s\n', regexprep (err.message, '^hmm_demo_plot: ', ''));
end
