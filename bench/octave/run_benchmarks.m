% Runs every bench/octave/bench_*.m in this Octave process; each prints its
% own table. Called by `make bench-octave` with the plug-ins on the path.
% BENCH_ONLY (a name such as 'chainsweep') runs one of them.
%
% BENCH_BASELINE, when set, names a folder with another build of the
% plug-ins (say build/octave of an older checkout); its chainsweep, pairtally
% and pathtrace run beside these as NAME_today, in the same process.
function run_benchmarks (only)
  here = fileparts (mfilename ('fullpath'));
  addpath (here);
  % The reference plug-in of the floors, built beside the plug-ins.
  addpath (fullfile (fileparts (which ('chainsweep')), '..', 'bench', 'octave'));
  baseline = getenv ('BENCH_BASELINE');
  if (! isempty (baseline))
    folder = tempname ();
    mkdir (folder);
    cleanup = onCleanup (@() remove_folder (folder));
    for name = {'chainsweep', 'pairtally', 'pathtrace'}
      copyfile (fullfile (baseline, [name{1} '.mex']), fullfile (folder, [name{1} '_today.mex']));
    end
    addpath (folder);
    printf ('beside: the plug-ins of %s (columns "today")\n', baseline);
  end
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

function remove_folder (folder)
  confirm_recursive_rmdir (false);
  rmdir (folder, 's');
end
