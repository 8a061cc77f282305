% f = today_plugin (name): a handle to NAME_today, the build of the plug-in
% that run_benchmarks found in BENCH_BASELINE (for a side-by-side run against
% another build), or [] when there is none.
function f = today_plugin (name)
  if (exist ([name '_today']) == 3)
    f = str2func ([name '_today']);
  else
    f = [];
  end
end
