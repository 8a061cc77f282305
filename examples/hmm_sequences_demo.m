% HMM_SEQUENCES_DEMO  One model fitted to 2,000 sequences, on one and on two worker processes.
%   Draws 2,000 sequences of 250 to 749 steps (500 on average, a million in
%   all) from an 8-state model with 6 symbols (HMM_SAMPLE_SEQUENCES), fits a
%   model to them by EM (HMM_FIT_SEQUENCES, 10 iterations) in a plain loop
%   and over 2 worker processes, in turn, prints the wall-clock times
%   (median and fastest of 5 fits each; on a machine busy with other work
%   the fastest shows best what the workers gain) and checks that both fits
%   agree to the last bit. In Octave the workers need the parallel package
%   (Debian: octave-parallel); without it both fits run the plain loop.
%
%   Run it from this folder with the built plug-ins on the path, e.g. in
%   Octave:  addpath ('../build/octave'); hmm_sequences_demo

K = 8;
M = 6;
truth.prior = ones (K, 1) / K;
truth.transmat = 0.7 * eye (K) + 0.3 / K;
% State k mostly shows symbol main(k), else mostly second(k).
main = [1 2 3 4 5 6 1 2];
second = [2 3 4 5 6 1 4 6];
truth.emission = 0.02 * ones (K, M);
for k = 1:K
  truth.emission(k, main(k)) = truth.emission(k, main(k)) + 0.7;
  truth.emission(k, second(k)) = truth.emission(k, second(k)) + 0.2;
end
truth.emission = truth.emission ./ sum (truth.emission, 2);
lengths = 250 + mod ((0:1999) * 7919, 500);
sequences = hmm_sample_sequences (truth, lengths, 20240607);

% Start from a smeared copy of the truth: the fit must find it back.
start.prior = truth.prior;
start.transmat = (truth.transmat + 0.2) ./ sum (truth.transmat + 0.2, 2);
start.emission = (truth.emission + 0.3) ./ sum (truth.emission + 0.3, 2);
iterations = 10;

fprintf ('Fitting one %d-state model to %d sequences of %d to %d steps (%d in all)\n', ...
         K, numel (sequences), min (lengths), max (lengths), sum (lengths));
fprintf ('by EM, %d iterations; E step per sequence: chainsweep + pairtally\n\n', iterations);
fprintf ('   workers   used   wall-clock s: median of 5   fastest   per iteration\n');
% The two settings take turns, so that both meet the same load.
times = zeros (2, 5);
used = zeros (1, 2);
fits = cell (1, 2);
for round = 1:5
  for workers = 1:2
    started = tic;
    [model, loglik, used(workers)] = hmm_fit_sequences (sequences, start, iterations, workers);
    times(workers, round) = toc (started);
    fits{workers} = struct ('model', model, 'loglik', loglik);
  end
end
for workers = 1:2
  fprintf ('   %7d   %4d   %25.2f   %7.2f   %13.3f\n', workers, used(workers), ...
           median (times(workers, :)), min (times(workers, :)), ...
           median (times(workers, :)) / numel (fits{workers}.loglik));
end
if isequal (fits{1}, fits{2})
  fprintf ('\nThe two fits are identical to the last bit.\n');
else
  fprintf ('\nFAULT: the fits on one and two workers differ.\n');
end
fprintf ('Log-likelihood: %.6f at the start, %.6f after %d iterations;\n', ...
         fits{1}.loglik(1), fits{1}.loglik(end), numel (fits{1}.loglik));
fprintf ('largest error of the fitted emission probabilities: %.3f\n', ...
         max (abs (fits{1}.model.emission(:) - truth.emission(:))));
