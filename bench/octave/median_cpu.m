% [seconds, result] = median_cpu (f, reps): the median CPU time of one call of
% f over reps samples, and the result of the last call, for the benchmark
% tables. A sample times as many calls as fill about 20 ms, so that short
% calls are measured above the clock's resolution.
%
% With a cell array of functions, seconds holds the median of each, and the
% samples are taken in turn (one of each function, reps times), so that a
% disturbance of the machine falls on all of them alike; result is then a
% cell array of the last results. settings{k}, when given and not empty,
% holds environment variables and values set around every sample of f{k}
% (see plain_loops). With wall true the samples take wall-clock time.
function [seconds, result] = median_cpu (f, reps, settings, wall)
  single = ! iscell (f);
  if (single)
    f = {f};
  end
  n = numel (f);
  if (nargin < 3 || isempty (settings))
    settings = cell (1, n);
  end
  if (nargin < 4)
    wall = false;
  end
  calls = ones (1, n);
  result = cell (1, n);
  times = zeros (reps + 1, n);
  for r = 0:reps
    for k = 1:n
      saved = apply (settings{k});
      if (calls(k) > 1)
        % An untimed call first: the C library's allocator adapts to the
        % sizes of the calls before (returning blocks of a few megabytes to
        % the system or keeping them), so that a sample would otherwise
        % depend on which function ran before it.
        result{k} = [];
        result{k} = f{k} ();
      end
      start = now_seconds (wall);
      for c = 1:calls(k)
        % The last result goes first, so that every call finds the memory
        % as free as the others do.
        result{k} = [];
        result{k} = f{k} ();
      end
      times(r + 1, k) = (now_seconds (wall) - start) / calls(k);
      apply (saved);
    end
    if (r == 0)
      % The first round, one call each, sets how many calls fill a sample.
      calls = max (1, min (10000, round (0.02 ./ max (times(1,:), 1e-6))));
    end
  end
  seconds = median (times(2:end, :), 1);
  if (single)
    result = result{1};
  end
end

% CPU time, or with wall the wall clock, in seconds.
function seconds = now_seconds (wall)
  if (wall)
    seconds = 1e-6 * double (tic ());
  else
    seconds = cputime ();
  end
end

% Sets the variables of pairs {name, value, ...}; returns their old values.
function saved = apply (pairs)
  saved = pairs;
  for p = 1:2:numel (pairs)
    saved{p + 1} = getenv (pairs{p});
    setenv (pairs{p}, pairs{p + 1});
  end
end
