% The in-host build (build_plugins, every vector unit) against the CMake
% build: one call of each plug-in, the two builds timed in turn, CPU-time
% medians of 7 rounds on one thread (HMM_PLUGINS_THREADS=1). For scale, the
% CMake build once more with its plain loops alone (HMM_PLUGINS_VECTOR_UNIT=
% plain), which is what an in-host build without the vector units ran.
% build_plugins compiles into a temporary folder first (some seconds).
function bench_inhost ()
  root = fileparts (fileparts (fileparts (mfilename ('fullpath'))));
  names = {'chainsweep', 'pairtally', 'pathtrace', 'bestmatch'};
  folder = tempname ();
  addpath (root);
  printf ('building with build_plugins into %s ...\n', folder);
  evalc ('build_plugins (folder)');
  for n = 1:numel (names)
    movefile (fullfile (folder, [names{n}, '.mex']), fullfile (folder, [names{n}, '_inhost.mex']));
  end
  addpath (folder, '-end');
  saved = {getenv('HMM_PLUGINS_THREADS'), getenv('HMM_PLUGINS_VECTOR_UNIT')};
  restore = onCleanup (@() finish (folder, saved));
  setenv ('HMM_PLUGINS_THREADS', '1');

  rand ('state', 1);
  K = 128; T = 1e4;
  prior = rand (K, 1); A = rand (K); obslik = rand (K, T);
  [~, alpha, beta, ~] = chainsweep (prior, A, obslik);
  costs = rand (1000);
  calls = {
    'chainsweep, 4 results, K=128 T=1e4', @(s) call_chainsweep (s, prior, A, obslik)
    'pairtally, K=128 T=1e4',             @(s) feval (['pairtally', s], alpha, beta, A, obslik)
    'pathtrace, C=1, K=128 T=1e4',        @(s) feval (['pathtrace', s], obslik, prior, A, 1)
    'bestmatch, uniform 1000x1000',       @(s) feval (['bestmatch', s], costs)
  };
  printf ('\none call, CPU-time medians of 7 rounds, HMM_PLUGINS_THREADS=1\n');
  printf ('%-36s %10s %13s %9s %16s\n', 'call', 'CMake s', 'in-host s', 'in/CMake', 'CMake plain s');
  for c = 1:rows (calls)
    f = calls{c, 2};
    assert (isequal (f (''), f ('_inhost')));
    times = zeros (3, 7);
    for round = 1:7
      setenv ('HMM_PLUGINS_VECTOR_UNIT', '');
      times(1, round) = cpu_of (@() f (''));
      times(2, round) = cpu_of (@() f ('_inhost'));
      setenv ('HMM_PLUGINS_VECTOR_UNIT', 'plain');
      times(3, round) = cpu_of (@() f (''));
    end
    m = median (times, 2);
    printf ('%-36s %10.4f %13.4f %9.2f %16.4f\n', calls{c, 1}, m(1), m(2), m(2) / m(1), m(3));
  end
end

function g = call_chainsweep (suffix, prior, A, obslik)
  [g, a, b, l] = feval (['chainsweep', suffix], prior, A, obslik);
end

function seconds = cpu_of (f)
  start = cputime ();
  result = f ();
  seconds = cputime () - start;
end

function finish (folder, saved)
  setenv ('HMM_PLUGINS_THREADS', saved{1});
  setenv ('HMM_PLUGINS_VECTOR_UNIT', saved{2});
  rmpath (folder);
  confirm_recursive_rmdir (false, 'local');
  rmdir (folder, 's');
end
