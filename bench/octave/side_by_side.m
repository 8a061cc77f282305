% [times, results] = side_by_side (entries, reps, wall): median CPU times
% (wall-clock times with wall true) of calls timed in turn (median_cpu), by
% name. entries is an n-by-3 cell array of
% rows {name, function, settings}; rows whose function is empty are left
% out, and their time is NaN.
function [times, results] = side_by_side (entries, reps, wall)
  present = ! cellfun (@isempty, entries(:, 2));
  times = struct ();
  results = struct ();
  for k = find (! present)'
    times.(entries{k, 1}) = NaN;
  end
  rows = find (present)';
  if (nargin < 3)
    wall = false;
  end
  [seconds, out] = median_cpu (entries(rows, 2)', reps, entries(rows, 3)', wall);
  for k = 1:numel (rows)
    times.(entries{rows(k), 1}) = seconds(k);
    results.(entries{rows(k), 1}) = out{k};
  end
end
