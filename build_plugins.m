function units = build_plugins (outdir, names)
% BUILD_PLUGINS  Compile the plug-ins from inside GNU Octave or MATLAB with mex.
%   BUILD_PLUGINS () compiles chainsweep, pairtally, pathtrace and bestmatch
%   into build/octave (in Octave) or build/matlab (in MATLAB) beside this
%   file, copies each plug-in's help text (NAME.m) next to it and writes
%   Contents.m (the functions and the version). Then:
%     addpath (fullfile (pwd, 'build', 'octave'))   % or 'matlab'
%   A CMake build does the same and more (tests, benchmarks); this script
%   needs nothing but the host and the C++ compiler that its mex uses, and
%   its plug-ins are as fast as the CMake build's and give the same bits.
%
%   BUILD_PLUGINS (OUTDIR) puts the plug-ins into OUTDIR instead.
%   BUILD_PLUGINS (OUTDIR, NAMES) builds only the plug-ins named in the cell
%   array NAMES; an empty OUTDIR keeps the default folder.
%   UNITS = BUILD_PLUGINS (...) returns a struct with one field per plug-in:
%   the vector units built into it, e.g. {'sse2', 'avx2', 'avx512'}.
%
%   What each plug-in is built from is listed in cmake/plugins.mk, which the
%   CMake build and the Octave package read too: its entry layer, its core,
%   the shared sources and the host sources, compiled together as C++17,
%   and its kernels compiled once per vector unit of x86 processors (SSE2,
%   AVX2, AVX-512; the plug-in picks the widest one the processor offers at
%   run time). Each kernel source is compiled on its own (mex -c) with its
%   unit's flags, and the objects are linked into the plug-in. A unit that
%   the compiler cannot build is left out, with a message; the plug-in then
%   runs its narrower units, with the same results.
%
%   No compiler may fuse a multiply with an add (the results are defined bit
%   for bit):
%     GCC, Clang, MinGW  the flags of the CMake build (cmake/plugins.mk):
%                        -O2 -ffp-contract=off -fno-fast-math -DNDEBUG
%                        -U_FORTIFY_SOURCE (in Octave in place of mkoctfile's
%                        default CXXFLAGS, so that the machine code is the
%                        CMake build's), and per unit
%                        -msse2, -mavx2 -mno-fma, -mavx512f -mno-fma (Clang:
%                        -mavx512f, as it counts FMA as part of AVX-512F).
%     MSVC               /fp:precise, and /arch:AVX2 or /arch:AVX512 for the
%                        units (x64 has SSE2 without a flag). Without /arch
%                        there is no FMA instruction to contract into. With
%                        it, Visual Studio 2022 (17.0) and later contract
%                        nothing under /fp:precise unless /fp:contract is
%                        given; Visual Studio 2017 and 2019 (15.x, 16.x) do
%                        contract under /fp:precise (their fp_contract is on
%                        by default), so their units get /fp:strict, the one
%                        mode of theirs without contractions.
%   MATLAB builds use the 32-bit-compatible array API with the separate-
%   complex API (-compatibleArrayDims -R2017b), like the CMake build.

  root = fileparts (mfilename ('fullpath'));
  manifest = read_manifest (fullfile (root, 'cmake', 'plugins.mk'));
  inOctave = exist ('OCTAVE_VERSION', 'builtin') ~= 0;
  if nargin < 1 || isempty (outdir)
    if inOctave
      outdir = fullfile (root, 'build', 'octave');
    else
      outdir = fullfile (root, 'build', 'matlab');
    end
  end
  if nargin < 2
    names = manifest.PLUGINS;
  end
  if ischar (names)
    names = {names};
  end
  if ~exist (outdir, 'dir') && ~mkdir (outdir)
    error ('build_plugins: cannot create the folder %s', outdir);
  end

  compiler = compiler_of (inOctave, manifest);
  if inOctave
    % mkoctfile takes extra compiler flags from the environment.
    savedFlags = getenv ('CXXFLAGS');
    restoreFlags = onCleanup (@() setenv ('CXXFLAGS', savedFlags));
  end
  work = tempname ();
  mkdir (work);
  removeWork = onCleanup (@() remove_folder (work));

  units = struct ();
  for n = 1:numel (names)
    name = names{n};
    if ~isfield (manifest, [name, '_ENTRY'])
      error ('build_plugins: cmake/plugins.mk lists no plug-in %s', name);
    end
    sources = [manifest.([name, '_ENTRY']), plugin_sources(manifest, name, inOctave)];
    sources = cellfun (@(f) fullfile (root, f), sources, 'UniformOutput', false);
    unitSources = cellfun (@(f) fullfile (root, f), field_or_empty (manifest, [name, '_UNIT_SOURCES']), ...
                           'UniformOutput', false);
    folders = unique ([cellfun(@fileparts, [sources, unitSources], 'UniformOutput', false), ...
                       {fullfile(root, 'host')}]);
    includes = strcat ('-I', folders(:)');

    fprintf ('build_plugins: %s\n', name);
    [objects, built] = build_units (name, unitSources, includes, manifest, compiler, ...
                                    fullfile (work, name));
    defines = strcat ('-DPLUGINS_HAVE_', upper (built));
    compile_and_link (name, [sources, objects], [includes, defines], outdir, root, ...
                      manifest, compiler);
    units.(name) = built;
    fprintf ('build_plugins: %s built with the vector units: %s\n', name, ...
             strjoin ([{'plain'}, built], ' '));

    helpFile = fullfile (root, name, [name, '.m']);
    if exist (helpFile, 'file')
      copyfile (helpFile, fullfile (outdir, [name, '.m']));
    end
  end
  write_contents (outdir, root, manifest.PLUGINS);
  fprintf ('build_plugins: done; use them with  addpath (''%s'')\n', outdir);
end

% The core, shared and host sources of plug-in NAME, as listed.
function sources = plugin_sources (manifest, name, inOctave)
  sources = field_or_empty (manifest, [name, '_SOURCES']);
  libraries = field_or_empty (manifest, [name, '_LIBRARIES']);
  for k = 1:numel (libraries)
    sources = [sources, field_or_empty(manifest, [libraries{k}, '_SOURCES'])];
  end
  sources = [sources, field_or_empty(manifest, 'HOST_SOURCES')];
  if inOctave
    sources = [sources, field_or_empty(manifest, 'OCTAVE_HOST_SOURCES')];
  else
    sources = [sources, field_or_empty(manifest, 'MEX_HOST_SOURCES')];
  end
end

% Compiles every kernel source once per vector unit into folder; returns the
% objects and the units built. A unit that fails is left out, with a message.
function [objects, built] = build_units (name, unitSources, includes, manifest, compiler, folder)
  objects = {};
  built = {};
  if isempty (unitSources)
    return;
  end
  if ~compiler.x86
    fprintf ('build_plugins: %s: no vector units for this processor family, plain loops only\n', name);
    return;
  end
  for u = 1:numel (manifest.VECTOR_UNITS)
    unit = manifest.VECTOR_UNITS{u};
    unitFolder = fullfile (folder, unit);
    mkdir (unitFolder);
    flags = unit_flags (unit, manifest, compiler);
    define = ['-DVECTOR_UNIT_BUILD_', upper(unit)];
    unitObjects = {};
    reason = '';
    for s = 1:numel (unitSources)
      [object, reason] = compile_one (unitSources{s}, [includes, {define}], flags, ...
                                      unitFolder, compiler);
      if isempty (object)
        break;
      end
      unitObjects{end+1} = object;
    end
    if isempty (reason)
      objects = [objects, unitObjects];
      built{end+1} = unit;
    else
      fprintf ('build_plugins: %s: vector unit %s left out, the compiler cannot build it: %s\n', ...
               name, unit, reason);
    end
  end
end

% The flags of one vector unit for this compiler.
function flags = unit_flags (unit, manifest, compiler)
  switch compiler.family
    case 'msvc'
      flags = {};
      if strcmp (unit, 'avx2')
        flags = {'/arch:AVX2'};
      elseif strcmp (unit, 'avx512')
        flags = {'/arch:AVX512'};
      end
      % Visual Studio 2017 and 2019 contract multiply-adds under /fp:precise
      % once /arch allows FMA; /fp:strict is their mode without contractions.
      if ~isempty (flags) && compiler.version < 17
        flags{end+1} = '/fp:strict';
      end
    case 'clang'
      flags = field_or_empty (manifest, ['UNIT_FLAGS_', unit]);
      if isfield (manifest, ['CLANG_UNIT_FLAGS_', unit])
        flags = manifest.(['CLANG_UNIT_FLAGS_', unit]);
      end
    otherwise
      flags = field_or_empty (manifest, ['UNIT_FLAGS_', unit]);
  end
  if compiler.mingw
    flags = [flags, field_or_empty(manifest, 'MINGW_UNIT_FLAGS')];
  end
end

% Compiles source into folder with the extra compiler flags; returns the
% object, or '' and the compiler's first error line.
function [object, reason] = compile_one (source, options, extraFlags, folder, compiler)
  object = '';
  reason = '';
  flags = strjoin ([compiler.flags, extraFlags], ' ');
  [~, stem] = fileparts (source);
  if compiler.octave
    setenv ('CXXFLAGS', flags);
    target = fullfile (folder, [stem, '.o']);
    [status, output] = run_mkoctfile ([{'--mex', '-c'}, options, {source, '-o', target}]);
    if status == 0 && exist (target, 'file')
      object = target;
    end
  else
    output = '';
    try
      mex ('-silent', '-c', compiler.api{:}, options{:}, '-outdir', folder, ...
           [compiler.flagVariable, '=$', compiler.flagVariable, ' ', flags], source);
    catch err
      output = err.message;
    end
    found = dir (fullfile (folder, [stem, '.o*']));
    if ~isempty (found)
      object = fullfile (folder, found(1).name);
    end
  end
  if isempty (object)
    lines = regexp (output, '[^\n]*error[^\n]*', 'match', 'once');
    if isempty (lines)
      lines = strtrim (output);
    end
    reason = strtrim (lines);
    if isempty (reason)
      reason = 'no object file';
    end
  end
end

% Compiles the plug-in's sources and links them with its unit objects.
function compile_and_link (name, files, options, outdir, root, manifest, compiler)
  flags = strjoin (compiler.flags, ' ');
  if compiler.octave
    % Only mexFunction is exported, as in the CMake build (MATLAB's mex does
    % this by itself).
    linkOptions = {};
    if isunix () && ~ismac ()
      linkOptions = {['-Wl,--version-script=', fullfile(root, 'cmake', 'mexFunction.map')]};
    elseif ismac ()
      linkOptions = {['-Wl,-exported_symbols_list,', fullfile(root, 'cmake', 'mexFunction.exports')]};
    end
    setenv ('CXXFLAGS', flags);
    [status, output] = run_mkoctfile ([{'--mex'}, options, linkOptions, ...
                                       {'-o', fullfile(outdir, [name, '.mex'])}, files]);
    if ~isempty (output)
      fprintf ('%s\n', output);
    end
    if status ~= 0
      error ('build_plugins: building %s failed', name);
    end
  else
    mex (compiler.api{:}, options{:}, [compiler.flagVariable, '=$', compiler.flagVariable, ' ', flags], ...
         '-outdir', outdir, '-output', name, files{:});
  end
end

% Runs Octave's mkoctfile with its output and errors captured.
function [status, output] = run_mkoctfile (args)
  program = fullfile (__octave_config_info__ ('bindir'), 'mkoctfile');
  command = ['"', program, '"', sprintf(' "%s"', args{:}), ' 2>&1'];
  [status, output] = system (command);
  output = strtrim (output);
end

% Which compiler mex uses, and its flags for every source.
function compiler = compiler_of (inOctave, manifest)
  compiler.octave = inOctave;
  compiler.version = 0;
  compiler.mingw = false;
  if inOctave
    cxx = strtrim (mkoctfile ('-p', 'CXX'));
    [~, about] = system ([cxx, ' --version']);
    if ~isempty (regexpi (about, 'clang', 'once'))
      compiler.family = 'clang';
    else
      compiler.family = 'gcc';
    end
    compiler.mingw = ispc ();
    host = computer ();
    compiler.x86 = ~isempty (regexp (host, '^(x86_64|amd64|i[3-6]86)', 'once'));
    compiler.x86_32 = ~isempty (regexp (host, '^i[3-6]86', 'once'));
    compiler.api = {};
    compiler.flagVariable = 'CXXFLAGS';
    % The flags of the CMake build replace mkoctfile's default CXXFLAGS.
    base = {'-std=c++17'};
  else
    selected = mex.getCompilerConfigurations ('C++', 'Selected');
    if isempty (selected)
      error ('build_plugins: no C++ compiler selected; run  mex -setup C++  first');
    end
    shortName = selected(1).ShortName;
    if ~isempty (strfind (shortName, 'MSVC'))
      compiler.family = 'msvc';
      compiler.version = str2double (regexp (selected(1).Version, '^\d+', 'match', 'once'));
    elseif ~isempty (regexpi (shortName, 'clang|xcode', 'once'))
      compiler.family = 'clang';
    else
      compiler.family = 'gcc';
      compiler.mingw = ~isempty (regexpi (shortName, 'mingw', 'once'));
    end
    arch = computer ('arch');
    compiler.x86 = any (strcmp (arch, {'glnxa64', 'glnx86', 'win64', 'win32', 'maci64'}));
    compiler.x86_32 = any (strcmp (arch, {'glnx86', 'win32'}));
    compiler.api = {'-compatibleArrayDims', '-R2017b'};
    if strcmp (compiler.family, 'msvc')
      compiler.flagVariable = 'COMPFLAGS';
      base = {'/std:c++17', '/fp:precise'};
    else
      compiler.flagVariable = 'CXXFLAGS';
      base = {'-std=c++17'};
    end
  end
  if ~strcmp (compiler.family, 'msvc')
    base = [base, manifest.FLAGS, manifest.RELEASE_FLAGS];
    if compiler.x86_32
      base = [base, manifest.X86_32_FLAGS];
    end
  end
  compiler.flags = base;
end

% Contents.m in outdir: the version (from CMakeLists.txt's project()) and the
% first help line of each plug-in there, the same lines the CMake build
% writes (cmake/Contents.cmake).
function write_contents (outdir, root, plugins)
  version = regexp (fileread (fullfile (root, 'CMakeLists.txt')), ...
                    'project\s*\(\s*\w+\s+VERSION\s+([\d.]+)', 'tokens', 'once');
  lines = {'% hmm-plugins  Hidden Markov model plug-ins for GNU Octave and MATLAB.', ...
           ['% Version ', version{1}], '%'};
  width = max (cellfun (@numel, plugins));
  for k = 1:numel (plugins)
    help = fullfile (outdir, [plugins{k}, '.m']);
    if exist (help, 'file')
      first = regexp (fileread (help), '^%\s*\S+\s+([^\n]*)', 'tokens', 'once');
      lines{end+1} = sprintf ('%%   %-*s - %s', width, plugins{k}, strtrim (first{1}));
    end
  end
  fid = fopen (fullfile (outdir, 'Contents.m'), 'w');
  fprintf (fid, '%s\n', lines{:});
  fclose (fid);
end

% The lines NAME = words of cmake/plugins.mk, as a struct of cell arrays.
function manifest = read_manifest (file)
  text = fileread (file);
  text = regexprep (text, '\\\r?\n', ' ');
  manifest = struct ();
  lines = regexp (text, '[^\n]*', 'match');
  for k = 1:numel (lines)
    line = regexprep (lines{k}, '#.*$', '');
    parts = regexp (line, '^\s*(\w+)\s*=(.*)$', 'tokens', 'once');
    if ~isempty (parts)
      words = regexp (parts{2}, '\S+', 'match');
      manifest.(parts{1}) = words;
    elseif ~isempty (strtrim (line))
      error ('build_plugins: %s: cannot read the line ''%s''', file, line);
    end
  end
end

function value = field_or_empty (s, field)
  if isfield (s, field)
    value = s.(field);
  else
    value = {};
  end
end

% Deletes a folder of object files and its subfolders.
function remove_folder (folder)
  if exist ('OCTAVE_VERSION', 'builtin')
    confirm_recursive_rmdir (false, 'local');
  end
  if exist (folder, 'dir')
    rmdir (folder, 's');
  end
end
