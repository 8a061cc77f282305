function build_plugins (outdir, names)
% BUILD_PLUGINS  Compile the plug-ins from inside GNU Octave or MATLAB with mex.
%   BUILD_PLUGINS () compiles chainsweep, pairtally, pathtrace and bestmatch
%   into build/octave (in Octave) or build/matlab (in MATLAB) beside this
%   file, and copies each plug-in's help text (NAME.m) next to it. Then:
%     addpath (fullfile (pwd, 'build', 'octave'))   % or 'matlab'
%   A CMake build does the same and more (tests, benchmarks); this script
%   needs nothing but the host and the C++ compiler that its mex uses.
%
%   BUILD_PLUGINS (OUTDIR) puts the plug-ins into OUTDIR instead.
%   BUILD_PLUGINS (OUTDIR, NAMES) builds only the plug-ins named in the cell
%   array NAMES; an empty OUTDIR keeps the default folder.
%
%   Each plug-in NAME is compiled from NAME/NAME_mex.cpp, the core sources
%   beside it (every other NAME/*.cpp except the per-vector-unit kernels,
%   which only the CMake build compiles), common/*.cpp and
%   host/work_memory_mex.cpp, with host/, NAME/ and common/ on the include
%   path, as C++17 and with -ffp-contract=off (no fused multiply-adds: the results are defined bit for bit). MATLAB
%   builds use the 32-bit-compatible array API with the separate-complex
%   API (-compatibleArrayDims -R2017b), like the CMake build.

  root = fileparts (mfilename ('fullpath'));
  inOctave = exist ('OCTAVE_VERSION', 'builtin') ~= 0;
  if nargin < 1 || isempty (outdir)
    if inOctave
      outdir = fullfile (root, 'build', 'octave');
    else
      outdir = fullfile (root, 'build', 'matlab');
    end
  end
  if nargin < 2
    names = {'chainsweep', 'pairtally', 'pathtrace', 'bestmatch'};
  end
  if ischar (names)
    names = {names};
  end
  if ~exist (outdir, 'dir') && ~mkdir (outdir)
    error ('build_plugins: cannot create the folder %s', outdir);
  end

  if inOctave
    % Only mexFunction is exported, as in the CMake build (MATLAB's mex does
    % this by itself).
    linkOptions = {};
    if isunix () && ~ismac ()
      linkOptions = {['-Wl,--version-script=', fullfile(root, 'cmake', 'mexFunction.map')]};
    end
    % mkoctfile takes extra compiler flags from the environment.
    savedFlags = getenv ('CXXFLAGS');
    restore = onCleanup (@() setenv ('CXXFLAGS', savedFlags));
    setenv ('CXXFLAGS', [strtrim(mkoctfile('-p', 'CXXFLAGS')), ' -std=c++17 -ffp-contract=off -fno-fast-math']);
  else
    hostOptions = [{'-compatibleArrayDims', '-R2017b'}, matlab_flags()];
  end

  for n = 1:numel (names)
    name = names{n};
    folder = fullfile (root, name);
    entry = fullfile (folder, [name, '_mex.cpp']);
    if ~exist (entry, 'file')
      error ('build_plugins: %s not found', entry);
    end
    listing = dir (fullfile (folder, '*.cpp'));
    core = fullfile (folder, setdiff (sort ({listing.name}), {[name, '_mex.cpp']}));
    % Sources built once per vector unit need the CMake build; here the
    % plain loops alone are built (the same bits, slower).
    core = core(cellfun (@(f) isempty (strfind (fileread (f), '#include "vector_lanes.h"')), core));
    common = dir (fullfile (root, 'common', '*.cpp'));
    sources = [{entry}, core, fullfile(root, 'common', {common.name}), ...
               {fullfile(root, 'host', 'work_memory_mex.cpp')}];
    includes = {['-I', fullfile(root, 'host')], ['-I', folder], ['-I', fullfile(root, 'common')]};
    fprintf ('build_plugins: %s\n', name);
    if inOctave
      mex (includes{:}, linkOptions{:}, '-o', fullfile (outdir, name), sources{:});
    else
      mex (hostOptions{:}, includes{:}, '-outdir', outdir, '-output', name, sources{:});
    end
    helpFile = fullfile (folder, [name, '.m']);
    if exist (helpFile, 'file')
      copyfile (helpFile, fullfile (outdir, [name, '.m']));
    end
  end
  fprintf ('build_plugins: done; use them with  addpath (''%s'')\n', outdir);
end

function flags = matlab_flags ()
  % Compiler flags for MATLAB's mex: C++17, no contraction of multiply-adds.
  compiler = mex.getCompilerConfigurations ('C++', 'Selected');
  if ~isempty (compiler) && ~isempty (strfind (compiler(1).ShortName, 'MSVC'))
    flags = {'COMPFLAGS=$COMPFLAGS /std:c++17 /fp:precise'};
  else
    flags = {'CXXFLAGS=$CXXFLAGS -std=c++17 -ffp-contract=off -fno-fast-math'};
  end
end
