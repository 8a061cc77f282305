% pairtally against the m-code a user would write: a plain per-step loop and
% the two-matrix-product form, K in {2, 8, 32, 128, 256}, T in {1e3, 1e4,
% 1e5}, run twice: with the default threads and with HMM_PLUGINS_THREADS=1.
% The floor is the time of (T-1)*K^2 divisions by m-code ./ over two arrays
% of 2^15 doubles (kept in cache, so memory does not bound it), scaled.
% Times: CPU-time medians for one thread; wall-time medians with the default
% threads (CPU time adds up over threads). The per-step m-code is skipped
% where it would take more than about 20 s ('-'). Beside each row: the plain
% loops (the plug-in on its plain loops and one thread) and, with
% BENCH_BASELINE, another build ("today"), both timed as the plug-in is.
function bench_pairtally ()
  today = today_plugin ('pairtally');
  saved = getenv ('HMM_PLUGINS_THREADS');
  restore = onCleanup (@() setenv ('HMM_PLUGINS_THREADS', saved));
  perDivision = division_time ();
  printf ('floor: m-code ./ takes %.3f ns per division\n', 1e9 * perDivision);
  for setting = {'', '1'}
    setenv ('HMM_PLUGINS_THREADS', setting{1});
    if (isempty (setting{1}))
      printf ('\npairtally, default threads (%d processors), wall-time medians, ms\n', nproc ());
      clock = @median_wall;
    else
      printf ('\npairtally, HMM_PLUGINS_THREADS=1, CPU-time medians, ms\n');
      clock = @median_cpu;
    end
    printf ('%5s %7s %10s %10s %10s %10s %10s %10s %9s %9s %10s %7s %7s\n', 'K', 'T', ...
            'plug-in', 'today', 'plain', 'per-step', 'products', 'floor', ...
            'step/plug', 'prod/plug', 'plug/floor', 'today/', 'plain/');
    for T = [1e3 1e4 1e5]
      for K = [2 8 32 128 256]
        rand ('state', K + T);
        alpha = rand (K, T); beta = rand (K, T); A = rand (K); obslik = rand (K, T);
        work = (T - 1) * K * K;
        reps = 5; if (work > 1e9) reps = 1; elseif (work > 1e8) reps = 3; end
        call = @(f) @() f (alpha, beta, A, obslik);
        % Timed in turn, so that a disturbance falls on all three alike; by
        % the wall clock with the default threads.
        [t, r] = side_by_side ({'plug', call(@pairtally), {}
                                'plain', call(@pairtally), plain_loops()
                                'today', only_if(! isempty (today), call (today)), {}}, ...
                               reps, isempty (setting{1}));
        [plug, plain, old, c1] = deal (t.plug, t.plain, t.today, r.plug);
        [prod, c2] = clock (@() pairtally_products (alpha, beta, A, obslik), reps);
        step = NaN;
        if (work <= 7e8)
          [step, c3] = clock (@() pairtally_steps (alpha, beta, A, obslik), 1);
          assert (max (abs (c3(:) - c1(:))) <= 1e-9 * T);
        end
        assert (max (abs (c2(:) - c1(:))) <= 1e-9 * T);
        floor = perDivision * work;
        printf ('%5d %7d %10s %10s %10s %10s %10s %10s %9s %9.2f %10.2f %7s %7.2f\n', K, T, ...
                format_ms (plug), format_ms (old), format_ms (plain), format_ms (step), ...
                format_ms (prod), format_ms (floor), format_ratio (step / plug), prod / plug, ...
                plug / floor, format_ratio (old / plug), plain / plug);
      end
    end
  end
end

% One step at a time, as the definition reads.
function counts = pairtally_steps (alpha, beta, A, obslik)
  [K, T] = size (alpha);
  counts = zeros (K);
  for t = T-1:-1:1
    X = (A .* alpha(:,t)) .* (beta(:,t+1) .* obslik(:,t+1))';
    counts = counts + X / sum (X(:));
  end
end

% Two matrix products: s_t = alpha(:,t)' * A * w_t, counts = A .* (alpha * (w ./ s)').
function counts = pairtally_products (alpha, beta, A, obslik)
  T = columns (alpha);
  a = alpha(:, 1:T-1);
  w = beta(:, 2:T) .* obslik(:, 2:T);
  s = sum (a .* (A * w), 1);
  counts = A .* (a * (w ./ s)');
end

function seconds = division_time ()
  x = rand (2^15, 1) + 0.5; y = rand (2^15, 1) + 0.5;
  times = zeros (1, 5);
  for r = 1:5
    start = cputime ();
    for k = 1:200
      q = x ./ y;
    end
    times(r) = cputime () - start;
  end
  seconds = median (times) / (200 * 2^15);
end

% median_cpu with wall time: each sample times as many calls as fill about
% 20 ms.
function [seconds, result] = median_wall (f, reps)
  start = tic ();
  result = f ();
  calls = max (1, min (10000, round (0.02 / max (toc (start), 1e-6))));
  times = zeros (1, reps);
  for r = 1:reps
    start = tic ();
    for c = 1:calls
      result = f ();
    end
    times(r) = toc (start) / calls;
  end
  seconds = median (times);
end
