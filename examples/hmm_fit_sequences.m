function [model, loglik, workersUsed] = hmm_fit_sequences (sequences, model, maxIterations, workers)
% HMM_FIT_SEQUENCES  Fit one discrete hidden Markov model to many sequences, over worker processes.
%   [MODEL, LOGLIK] = HMM_FIT_SEQUENCES (SEQUENCES, MODEL0) fits one model to
%   every sequence of the cell array SEQUENCES (vectors of symbols 1..M, of
%   any lengths) by expectation-maximisation (Baum-Welch), starting from
%   MODEL0. A model has the fields prior (K-by-1), transmat (K-by-K, rows:
%   from, columns: to) and emission (K-by-M: emission(k,s) is the
%   probability of symbol s in state k).
%     E step  for each sequence one CHAINSWEEP call (the state marginals and
%             the log-likelihood) and one PAIRTALLY call (the expected
%             transition counts); the expected first states, transitions
%             and emissions of all sequences are summed.
%     M step  each row of counts, normalised, is the new distribution; a row
%             without counts keeps its old values.
%   LOGLIK(n) is the total log-likelihood of the sequences under the
%   parameters of iteration n (iteration 1: MODEL0); EM never lowers it.
%   MODEL is the model of the last iteration, whose log-likelihood is
%   LOGLIK(end).
%
%   [...] = HMM_FIT_SEQUENCES (SEQUENCES, MODEL0, MAXITERATIONS, WORKERS)
%   stops after MAXITERATIONS evaluations (default 100) or when an iteration
%   raises the log-likelihood by less than 1e-10 of its magnitude, and
%   spreads the E steps over WORKERS processes (default: one per processor):
%     Octave  parcellfun of the parallel package (Debian: octave-parallel),
%             loaded when installed;
%     MATLAB  parfor (a pool of the Parallel Computing Toolbox, when there
%             is one);
%   otherwise, or with WORKERS = 1, a plain loop. The workers return every
%   sequence's counts, which are summed here, in the order of the sequences,
%   after all workers are done: the fitted model is the same to the last bit
%   for any number of workers. The plug-ins keep no state between calls, so
%   any process may run any sequence.
%   [..., WORKERSUSED] also returns how many processes ran the E steps.
%
%   Example (two states, three symbols, 200 sequences of 50 to 149 steps):
%     truth.prior = [0.5; 0.5];
%     truth.transmat = [0.95 0.05; 0.1 0.9];
%     truth.emission = [0.7 0.2 0.1; 0.1 0.3 0.6];
%     sequences = hmm_sample_sequences (truth, 50 + mod (0:199, 100), 7);
%     start = struct ('prior', [0.5; 0.5], 'transmat', [0.8 0.2; 0.2 0.8], ...
%                     'emission', [0.5 0.3 0.2; 0.2 0.3 0.5]);
%     [model, loglik] = hmm_fit_sequences (sequences, start, 200, 2);
%     model.emission   % close to truth.emission
%
%   See also HMM_SEQUENCE_COUNTS, HMM_SAMPLE_SEQUENCES, CHAINSWEEP, PAIRTALLY.

  if nargin < 3 || isempty (maxIterations)
    maxIterations = 100;
  end
  if nargin < 4 || isempty (workers)
    workers = processor_count ();
  end
  K = numel (model.prior);
  M = size (model.emission, 2);
  sequences = compact_sequences (sequences, M);

  loglik = zeros (1, maxIterations);
  for n = 1:maxIterations
    [counts, workersUsed] = expected_counts (sequences, model, workers);
    [loglik(n), sums] = sum_in_order (counts, K, M);
    if n > 1 && loglik(n) - loglik(n - 1) < 1e-10 * abs (loglik(n))
      break;
    end
    if n == maxIterations
      break;
    end
    model = maximise (sums, model);
  end
  loglik = loglik(1:n);
end

% Every sequence's counts under model, one column each (as from
% HMM_SEQUENCE_COUNTS). The workers take contiguous blocks of sequences, a
% few per worker so that they share the work evenly.
function [counts, used] = expected_counts (sequences, model, workers)
  N = numel (sequences);
  used = max (1, min ([workers, N, processor_count()]));
  % A named function: parcellfun's workers are Octave sessions of their
  % own, which find it (and the plug-ins) on the path but know no
  % subfunction of this file.
  count = @(block) hmm_sequence_counts (block, model);
  if exist ('OCTAVE_VERSION', 'builtin')
    if used > 1 && parallel_package ()
      blocks = parcellfun (used, count, split_blocks (sequences, 4 * used), ...
                           'UniformOutput', false, 'VerboseLevel', 0);
      counts = [blocks{:}];
    else
      used = 1;
      counts = count (sequences);
    end
  else
    if ~license ('test', 'Distrib_Computing_Toolbox')
      used = 1;
    end
    blocks = split_blocks (sequences, 4 * used);
    parfor (b = 1:numel (blocks), used)
      blocks{b} = count (blocks{b});
    end
    counts = [blocks{:}];
  end
end

function blocks = split_blocks (sequences, count)
  count = min (count, numel (sequences));
  edges = round (linspace (0, numel (sequences), count + 1));
  blocks = cell (1, count);
  for b = 1:count
    blocks{b} = sequences(edges(b) + 1:edges(b + 1));
  end
end

% The sums over all sequences, in their order, whatever process made them.
function [total, sums] = sum_in_order (counts, K, M)
  column = zeros (size (counts, 1), 1);
  for i = 1:size (counts, 2)
    column = column + counts(:, i);
  end
  total = column(1);
  sums.first = column(1 + (1:K));
  sums.transitions = reshape (column(1 + K + (1:K * K)), K, K);
  sums.emissions = reshape (column(1 + K + K * K + (1:K * M)), K, M);
end

function next = maximise (counts, model)
  next.prior = counts.first / sum (counts.first);
  next.transmat = normalised_rows (counts.transitions, model.transmat);
  next.emission = normalised_rows (counts.emissions, model.emission);
end

% Each row divided by its sum; a row that sums to zero keeps its old values.
function rows = normalised_rows (counts, old)
  sums = sum (counts, 2);
  rows = counts ./ sums;
  empty = sums <= 0;
  rows(empty, :) = old(empty, :);
end

% The sequences checked, as rows of the smallest integer class that holds
% 1..M: less to send to the workers.
function sequences = compact_sequences (sequences, M)
  if ~iscell (sequences) || isempty (sequences)
    error ('hmm_fit_sequences: SEQUENCES must be a non-empty cell array of symbol vectors');
  end
  if M <= 255
    kind = 'uint8';
  elseif M <= 65535
    kind = 'uint16';
  else
    kind = 'double';
  end
  for i = 1:numel (sequences)
    y = sequences{i};
    if isempty (y) || ~isnumeric (y) || any (y(:) ~= fix (y(:))) || any (y(:) < 1) || any (y(:) > M)
      error ('hmm_fit_sequences: sequence %d must hold symbols from 1 to %d (one per emission column)', i, M);
    end
    sequences{i} = cast (y(:)', kind);
  end
end

% Whether Octave's parallel package (parcellfun) is there, loading it if needed.
function ok = parallel_package ()
  ok = exist ('parcellfun', 'file') == 2;
  if ~ok
    try
      pkg ('load', 'parallel');
      ok = exist ('parcellfun', 'file') == 2;
    catch
      ok = false;
    end
  end
end

function count = processor_count ()
  if exist ('OCTAVE_VERSION', 'builtin')
    count = nproc ();
  else
    count = feature ('numcores');
  end
end

%!shared truth, start, sequences
%! truth.prior = [0.5; 0.5];
%! truth.transmat = [0.95 0.05; 0.1 0.9];
%! truth.emission = [0.7 0.2 0.1; 0.1 0.3 0.6];
%! sequences = hmm_sample_sequences (truth, 50 + mod (0:199, 100), 7);
%! start = struct ("prior", [0.5; 0.5], "transmat", [0.8 0.2; 0.2 0.8], ...
%!                 "emission", [0.5 0.3 0.2; 0.2 0.3 0.5]);

%!test
%! ## The example: EM never lowers the likelihood and finds the parameters.
%! [model, loglik] = hmm_fit_sequences (sequences, start, 200, 1);
%! assert (all (diff (loglik) >= -1e-9 * abs (loglik(2:end))));
%! assert (model.emission, truth.emission, 0.05);
%! assert (model.transmat, truth.transmat, 0.03);
%! assert (sum (model.emission, 2), [1; 1], 1e-12);

%!test
%! ## The same bits with two workers as with one.
%! [one, loglik1] = hmm_fit_sequences (sequences, start, 5, 1);
%! [two, loglik2] = hmm_fit_sequences (sequences, start, 5, 2);
%! assert (isequal (one, two) && isequal (loglik1, loglik2));

%!error <sequence 2 must hold symbols from 1 to 3> hmm_fit_sequences ({[1 2], [3 4]}, start)
%!error <must be a non-empty cell array> hmm_fit_sequences ([1 2 3], start)
