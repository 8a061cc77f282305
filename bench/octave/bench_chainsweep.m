% chainsweep against the vectorised m-code forward-backward a user writes
% instead, in this Octave process, CPU-time medians (CPU time counts every
% thread). Beside each row: the plain loops (the plug-in on its plain loops
% and one thread), the floors of creating and writing the results once as
% Octave's own arrays (as the plug-in creates them) and through the MEX API,
% and, with BENCH_BASELINE, another build ("today"). Then the peak memory of
% single calls, each in a fresh Octave process.
function bench_chainsweep ()
  today = today_plugin ('chainsweep');
  for n = [4 5]
    printf ('\nchainsweep, %d results (ms; m = m-code, plug = chainsweep, plain = its plain loops)\n', n);
    printf ('%5s %7s | %9s %9s %9s %9s %9s %9s | %6s %6s %6s\n', 'K', 'T', 'm-code', ...
            'plug-in', 'today', 'plain', 'floor own', 'floor mex', 'm/plug', 'today/', 'plain/');
    for K = [2 8 32 128 256]
      for T = [1e3 1e4 1e5]
        bytes = 8 * (3 * K * T + (n == 5) * K * K * T);
        if (! fits (bytes))
          continue;
        end
        rand ('seed', K + T);
        prior = rand (K, 1); A = rand (K, K); obslik = rand (K, T);
        reps = 5; if (K * K * T > 1e8) reps = 3; end
        call = @(f) @() smooth (f, n, prior, A, obslik);
        sizes = result_sizes (K, T, n);
        % The m-code takes minutes beyond these sizes; the MEX-API kinds hold
        % every result twice at the end of a call.
        mcode = n == 4 || K * K * T <= 7e8;
        twice = fits (2 * bytes);
        t = side_by_side ({'plug', call(@chainsweep), {}
                           'plain', call(@chainsweep), plain_loops()
                           'own', result_floor(1, sizes), {}
                           'm', only_if(mcode, call(@chainsweep_mcode)), {}
                           'mex', only_if(twice, result_floor(0, sizes)), {}
                           'today', only_if(twice && ! isempty (today), call (today)), {}}, reps);
        printf ('%5d %7d | %9s %9s %9s %9s %9s %9s | %6s %6s %6.2f\n', K, T, format_ms (t.m), ...
                format_ms (t.plug), format_ms (t.today), format_ms (t.plain), format_ms (t.own), ...
                format_ms (t.mex), format_ratio (t.m / t.plug), format_ratio (t.today / t.plug), ...
                t.plain / t.plug);
      end
    end
  end
  printf ('(today/ and plain/: their time over the plug-in''s; above 1, the plug-in is faster)\n');
  peak_table ();
end

% Whether results of `bytes` (and the same again for the inputs and the
% m-code's temporaries) fit in the memory available now.
function yes = fits (bytes)
  info = fileread ('/proc/meminfo');
  available = 1024 * str2double (regexp (info, 'MemAvailable:\s*(\d+)', 'tokens', 'once'){1});
  yes = 2 * bytes < available;
end

% Rows, columns and pages of chainsweep's n results.
function sizes = result_sizes (K, T, n)
  sizes = [K T 1; K T 1; K T 1; K K T; 1 1 1];
  if (n == 4)
    sizes(4, :) = [];
  end
end

function r = smooth (f, n, prior, A, obslik)
  if (n == 4)
    [g, a, b, l] = f (prior, A, obslik);
  else
    [g, a, b, x, l] = f (prior, A, obslik);
  end
  r = [];
end


% Peak memory of one call, each in a fresh Octave process that first makes
% the inputs: the growth of VmHWM over the resident memory before the call,
% against the results' size (1.00: the results alone, no copy of them).
function peak_table ()
  printf ('\nPeak memory of one call above the process before it, over the results'' size:\n');
  printf ('%5s %7s %3s %9s | %8s %8s %8s %8s %8s\n', 'K', 'T', 'n', 'results', 'plug-in', ...
          'today', 'own', 'mex', 'm-code');
  today = today_plugin ('chainsweep');
  for c = {{64, 1e5, 5}, {128, 1e5, 4}, {128, 1e4, 5}}
    [K, T, n] = c{1}{:};
    bytes = 8 * (3 * K * T + (n == 5) * K * K * T);
    if (! fits (bytes))
      printf ('%5d %7d %3d   (not enough memory free)\n', K, T, n);
      continue;
    end
    outs = {'[g, a, b, l]', '[g, a, b, x, l]'}{n - 3};
    sizes = mat2str (result_sizes (K, T, n));
    calls = {sprintf('%s = chainsweep (prior, A, obslik);', outs), ...
             sprintf('%s = chainsweep_today (prior, A, obslik);', outs), ...
             sprintf('%s = reference_arrays (1, 1, %s);', outs, sizes), ...
             sprintf('%s = reference_arrays (0, 1, %s);', outs, sizes), ...
             sprintf('%s = chainsweep_mcode (prior, A, obslik);', outs)};
    growth = nan (1, 5);
    for k = 1:5
      if ((k == 2 && isempty (today)) || (k != 1 && k != 3 && ! fits (2 * bytes)))
        continue;
      end
      growth(k) = peak_growth (K, T, calls{k}) / bytes;
    end
    shown = arrayfun (@format_ratio, growth, 'UniformOutput', false);
    printf ('%5d %7d %3d %6.0f MB | %8s %8s %8s %8s %8s\n', K, T, n, bytes / 2^20, shown{:});
  end
end

% Growth of VmHWM over VmRSS before `call`, in bytes, in a fresh Octave that
% first makes the inputs; NaN when the call fails.
function bytes = peak_growth (K, T, call)
  folders = cellfun (@(name) fileparts (which (name)), {'chainsweep', 'reference_arrays', ...
                     'chainsweep_mcode', 'chainsweep_today'}, 'UniformOutput', false);
  folders = folders(! cellfun (@isempty, folders));
  paths = sprintf ('addpath (''%s''); ', folders{:});
  kb = ['kb = @(f) 1024 * str2double (regexp (fileread (''/proc/self/status''), ' ...
        '[f '':\s*(\d+)''], ''tokens'', ''once''){1});'];
  script = sprintf (['%s %s prior = rand (%d, 1); A = rand (%d); obslik = rand (%d, %d); ' ...
                     'before = kb (''VmRSS''); %s printf (''%%d'', kb (''VmHWM'') - before);'], ...
                    paths, kb, K, K, K, T, call);
  file = [tempname() '.m'];
  fid = fopen (file, 'w'); fputs (fid, script); fclose (fid);
  [code, out] = system (sprintf ('octave-cli --no-init-file --quiet --no-history %s', file));
  unlink (file);
  bytes = NaN;
  if (code == 0)
    bytes = str2double (strtrim (out));
  end
end
