% [seconds, result] = median_cpu (f, reps): the median CPU time of reps calls
% of f, and the result of the last, for the benchmark tables.
function [seconds, result] = median_cpu (f, reps)
  times = zeros (1, reps);
  for r = 1:reps
    start = cputime ();
    result = f ();
    times(r) = cputime () - start;
  end
  seconds = median (times);
end
