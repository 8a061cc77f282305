% Runs every bench/octave/bench_*.m in this Octave process; each prints its
% own table. Called by `make bench-octave` with the plug-ins on the path.
% BENCH_ONLY (a name such as 'chainsweep') runs one of them.
function run_benchmarks (only)
  here = fileparts (mfilename ('fullpath'));
  addpath (here);
  files = dir (fullfile (here, 'bench_*.m'));
  for k = 1:numel (files)
    [~, name] = fileparts (files(k).name);
    if (nargin > 0 && ! isempty (only) && ! strcmp (name, ['bench_' only]))
      continue;
    end
    printf ('\n== %s\n', name);
    feval (name);
  end
end
