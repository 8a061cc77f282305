% chainsweep against the vectorised m-code forward-backward a user writes
% instead, round-robin in this Octave process (CPU-time medians of a few
% runs; CPU time counts every thread, wall time is shown beside it), then the
% peak memory of single calls, each in a fresh Octave process, against a
% reference plug-in that only creates and writes arrays of the result sizes.
function bench_chainsweep ()
  reference = fullfile (fileparts (which ('chainsweep')), '..', 'bench', 'octave');
  addpath (reference);
  reps = 3;
  Ks = [2 8 32 128 256];
  Ts = [1e3 1e4 1e5];
  printf ('%5s %7s | %9s %9s %9s %7s | %9s %9s %9s %7s | %9s %9s\n', 'K', 'T', ...
          'm 4', 'cs 4', 'cs4 wall', 'm/cs', 'm 5', 'cs 5', 'cs5 wall', 'm/cs', ...
          'floor 5', 'cs5/floor');
  for K = Ks
    for T = Ts
      rand ('seed', K + T);
      prior = rand (K, 1); A = rand (K, K); obslik = rand (K, T);
      five = K * K * T * 8 <= 1.5e9;           % the pairwise table fits comfortably
      mfive = five && K * K * T <= 2e8;        % and the m-code takes a few seconds
      times = nan (reps, 7);
      for r = 1:reps
        [times(r,1)] = timed (@() mcode_four (prior, A, obslik));
        [times(r,2), times(r,3)] = timed (@() call_four (prior, A, obslik));
        if (mfive)
          times(r,4) = timed (@() mcode_five (prior, A, obslik));
        end
        if (five)
          [times(r,5), times(r,6)] = timed (@() call_five (prior, A, obslik));
          times(r,7) = timed (@() reference_five (K, T));
        end
      end
      m = median (times, 1);
      printf ('%5d %7d | %9s %9s %9s %7.1f | %9s %9s %9s %7.1f | %9s %9.2f\n', K, T, ...
              ms (m(1)), ms (m(2)), ms (m(3)), m(1) / m(2), ms (m(4)), ms (m(5)), ...
              ms (m(6)), m(4) / m(5), ms (m(7)), m(5) / m(7));
    end
  end
  printf ('(times in ms; m = m-code, cs = chainsweep, floor 5 = creating and writing the 5 results once)\n');

  printf ('\nPeak memory (VmHWM) of one call in a fresh Octave process, inputs included:\n');
  printf ('%5s %7s %8s | %12s %12s %7s\n', 'K', 'T', 'results', 'chainsweep', 'reference', 'ratio');
  for c = {{128, 1e5, 4}, {128, 1e4, 5}, {64, 1e5, 5}}
    [K, T, n] = c{1}{:};
    peak = peak_memory (reference, K, T, n, 'chainsweep');
    base = peak_memory (reference, K, T, n, 'reference');
    printf ('%5d %7d %8d | %9.0f MB %9.0f MB %7.2f\n', K, T, n, peak / 2^20, base / 2^20, peak / base);
  end
end

function [cpu, wall] = timed (f)
  t0 = cputime (); w0 = tic ();
  f ();
  cpu = cputime () - t0; wall = toc (w0);
end

function s = ms (seconds)
  if (isnan (seconds)) s = '-'; else s = sprintf ('%.1f', 1000 * seconds); end
end

function call_four (prior, A, obslik)
  [g, a, b, l] = chainsweep (prior, A, obslik);
end

function call_five (prior, A, obslik)
  [g, a, b, x, l] = chainsweep (prior, A, obslik);
end

function reference_five (K, T)
  [g, a, b, x, l] = reference_arrays (K, T, 1);
end

% The usual vectorised forward-backward: a matrix-vector product per step.
function [gamma, alpha, beta, loglik] = mcode_four (prior, A, obslik)
  [K, T] = size (obslik);
  alpha = zeros (K, T); beta = ones (K, T); c = zeros (1, T);
  At = A';
  a = prior .* obslik(:,1); c(1) = sum (a); alpha(:,1) = a / c(1);
  for t = 2:T
    a = (At * alpha(:,t-1)) .* obslik(:,t); c(t) = sum (a); alpha(:,t) = a / c(t);
  end
  for t = T-1:-1:1
    b = A * (beta(:,t+1) .* obslik(:,t+1)); beta(:,t) = b / sum (b);
  end
  gamma = alpha .* beta; gamma = gamma ./ sum (gamma, 1);
  loglik = sum (log (c));
end

% The same with the pairwise tables.
function [gamma, alpha, beta, xi, loglik] = mcode_five (prior, A, obslik)
  [K, T] = size (obslik);
  [gamma, alpha, beta, loglik] = mcode_four (prior, A, obslik);
  xi = zeros (K, K, T);
  for t = 1:T-1
    x = A .* (alpha(:,t) * (beta(:,t+1) .* obslik(:,t+1))');
    xi(:,:,t) = x / sum (x(:));
  end
end

% VmHWM in bytes of a fresh Octave process that makes the inputs and one call.
function bytes = peak_memory (reference, K, T, n, kind)
  here = fileparts (which ('chainsweep'));
  outs = {'[g, a, b, l]', '[g, a, b, x, l]'}{n - 3};
  if (strcmp (kind, 'chainsweep'))
    call = sprintf ('%s = chainsweep (prior, A, obslik);', outs);
  else
    call = sprintf ('%s = reference_arrays (%d, %d, 1);', outs, K, T);
  end
  script = sprintf (['addpath (''%s''); addpath (''%s''); prior = rand (%d, 1); A = rand (%d); ' ...
                     'obslik = rand (%d, %d); %s ' ...
                     's = fileread (''/proc/self/status''); ' ...
                     'printf (''%%s\\n'', regexp (s, ''VmHWM:\\s*(\\d+)'', ''tokens''){1}{1});'], ...
                    here, reference, K, K, K, T, call);
  [status, out] = system (sprintf ('octave-cli --no-init-file --quiet --no-history --eval "%s"', script));
  if (status != 0)
    bytes = NaN;
  else
    bytes = 1024 * str2double (strtrim (out));
  end
end
