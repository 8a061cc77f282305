## The plug-ins' results in Octave, where they are Octave's own arrays: the
## host frees them at the end of a call only through the holders the plug-ins
## give them. Each way a call can end after its results exist (completed, a
## refusal of the plug-in, the host's out-of-memory error, an interrupt) runs
## in a loop, and the process's memory must not grow. Results that the
## plug-ins add into start at zero, and every result outlives its plug-in.

%!function kb = status_kb (field)
%!  s = fileread ("/proc/self/status");
%!  kb = str2double (regexp (s, [field ":\\s*(\\d+)"], "tokens", "once"){1});
%!endfunction

%!function mb = memory_mb ()
%!  ## Address space and resident memory: results whose storage the plug-in
%!  ## never touched count only in the first.
%!  mb = [status_kb("VmSize"), status_kb("VmRSS")] / 1024;
%!endfunction

%!function refused (call, message)
%!  ## call() must fail with message.
%!  try
%!    call ();
%!  catch err
%!    assert (index (err.message, message) > 0, "unexpected error: %s", err.message);
%!    return;
%!  end_try_catch
%!  error ("the call did not fail");
%!endfunction

%!function growth = growth_mb (call, times)
%!  ## Growth of memory_mb over `times` calls after two.
%!  call ();
%!  call ();
%!  before = memory_mb ();
%!  for i = 1:times
%!    call ();
%!  endfor
%!  growth = max (memory_mb () - before);
%!endfunction

%!function limited (room, call)
%!  ## Runs call with the address space limited to room bytes beyond what the
%!  ## process holds (util-linux's prlimit).
%!  limit = status_kb ("VmSize") * 1024 + room;
%!  pid = getpid ();
%!  [status, out] = system (sprintf ("prlimit --pid %d --as=%d:", pid, limit));
%!  assert (status, 0, out);
%!  unwind_protect
%!    call ();
%!  unwind_protect_cleanup
%!    system (sprintf ("prlimit --pid %d --as=unlimited:", pid));
%!  end_unwind_protect
%!endfunction

%!function chainsweep4 (varargin)
%!  [g, a, b, l] = chainsweep (varargin{:});
%!endfunction
%!function chainsweep5 (varargin)
%!  [g, a, b, x, l] = chainsweep (varargin{:});
%!endfunction
%!function pathtrace3 (varargin)
%!  [D, P, S] = pathtrace (varargin{:});
%!endfunction
%!function pairtally1 (varargin)
%!  counts = pairtally (varargin{:});
%!endfunction
%!function bestmatch2 (varargin)
%!  [a, c] = bestmatch (varargin{:});
%!endfunction

%!function pathtrace1 (varargin)
%!  D = pathtrace (varargin{:});
%!endfunction

%!shared negative, proc, prlimit
%! negative = "We don't want to normalize if A contains a negative value";
%! proc = exist ("/proc/self/status", "file") == 2;
%! prlimit = proc && system ("prlimit --version > /dev/null 2>&1") == 0;

## The negative-value refusal comes after chainsweep made its results: 31 MB
## a call, 1 GB with the pairwise table.
%!testif ; proc
%! rand ("seed", 1);
%! K = 64; T = 20000;
%! p = rand (K, 1); A = -rand (K); o = rand (K, T);
%! assert (growth_mb (@() refused (@() chainsweep4 (p, A, o), negative), 10) < 24);
%! assert (growth_mb (@() refused (@() chainsweep5 (p, A, o), negative), 5) < 24);
%! ## Late: the backward pass meets the negative value at its last step.
%! A = rand (K); o(:,2) = -o(:,2);
%! assert (growth_mb (@() refused (@() chainsweep5 (p, A, o), negative), 5) < 24);

## bestmatch refuses a negative cost after making its results (40 MB).
%!testif ; proc
%! costs = rand (5e6, 2); costs(end) = -1;
%! assert (growth_mb (@() refused (@() bestmatch2 (costs), "non-negative"), 10) < 24);

## The host's out-of-memory error from mxMalloc for working memory, after the
## results exist. The working blocks are larger than the 64 MB heaps of the
## C library's thread arenas, whose reserved space could grant them anyway.
%!testif ; prlimit
%! K = 3000; T = 2000;
%! p = rand (K, 1); A = rand (K); o = rand (K, T);
%! ## 144 MB of results, 72 MB for the transposed transition matrix.
%! oom = @(call, room) @() limited (room, @() refused (call, "failed to allocate"));
%! assert (growth_mb (oom (@() chainsweep4 (p, A, o), 184e6), 5) < 24);
%! ## 96 MB of results, 72 MB for the transposed transition matrix.
%! assert (growth_mb (oom (@() pathtrace3 (o, p, A, 1), 136e6), 5) < 24);
%! ## A 72 MB result, 72 MB for the table of one step.
%! a = rand (K, 2); b = rand (K, 2);
%! assert (growth_mb (oom (@() pairtally1 (a, b, A, a), 112e6), 5) < 24);

## Out of memory while making the results: the pairwise table (2.2 GB) after
## the other three (22 MB), with Octave's words for a failed allocation.
%!testif ; prlimit
%! K = 300; T = 3000;
%! p = rand (K, 1); A = rand (K); o = rand (K, T);
%! message = "chainsweep: failed to allocate 2160000000 bytes of memory";
%! assert (growth_mb (@() limited (60e6, @() refused (@() chainsweep5 (p, A, o), message)), 5) < 24);

## Completed calls: what the caller received is freed when it goes, and so
## are the results it did not ask for (pathtrace computes all three).
%!testif ; proc
%! rand ("seed", 2);
%! K = 64; T = 20000;
%! p = rand (K, 1); A = rand (K); o = rand (K, T);
%! assert (growth_mb (@() chainsweep4 (p, A, o), 10) < 24);
%! assert (growth_mb (@() chainsweep5 (p, A, o), 3) < 24);
%! assert (growth_mb (@() pathtrace3 (o, p, A, 1), 10) < 24);
%! assert (growth_mb (@() pathtrace1 (o, p, A, 0), 10) < 24);
%! K = 2000;
%! assert (growth_mb (@() pairtally1 (rand (K, 3), rand (K, 3), rand (K), rand (K, 3)), 10) < 24);
%! assert (growth_mb (@() bestmatch2 (rand (5e6, 1)), 10) < 24);

## An interrupt (Ctrl-C) while calls run, in an interactive Octave fed from a
## file: each loop of calls is cut short (Octave acts on the interrupt once
## the running call returns), and after three of them the process holds no
## more memory than before.
%!testif ; proc
%! folder = fileparts (which ("chainsweep"));
%! script = [tempname(), ".m"];
%! unwind_protect
%!   fid = fopen (script, "w");
%!   fprintf (fid, "addpath ('%s');\n", folder);
%!   fprintf (fid, "K = 256; T = 20000; p = rand (K, 1); A = rand (K); o = rand (K, T);\n");
%!   fprintf (fid, "[g, a, b, l] = chainsweep (p, A, o); clear g a b l;\n");
%!   fprintf (fid, "mb = @() str2double (regexp (fileread ('/proc/self/status'), 'VmSize:\\s*(\\d+)', 'tokens', 'once'){1}) / 1024;\n");
%!   fprintf (fid, "before = mb ();\n");
%!   for n = 1:3
%!     fprintf (fid, "system (sprintf ('(sleep 0.4; kill -INT %%d) &', getpid ())); ");
%!     fprintf (fid, "for k = 1:20, [g, a, b, l] = chainsweep (p, A, o); end, disp ('not interrupted')\n");
%!   endfor
%!   fprintf (fid, "clear g a b l; printf ('growth %%.1f MB\\n', mb () - before);\n");
%!   fclose (fid);
%!   octave = fullfile (OCTAVE_HOME (), "bin", "octave-cli");
%!   [status, out] = system (sprintf ("%s --no-init-file --no-history --interactive --no-line-editing --quiet < %s", octave, script));
%!   growth = str2double (regexp (out, "growth (\\S+) MB", "tokens", "once"));
%!   assert (isempty (strfind (out, "not interrupted")), out);
%!   assert (growth < 24, out);
%! unwind_protect_cleanup
%!   unlink (script);
%! end_unwind_protect

## Results the plug-ins rely on being zero start at zero, also when the
## allocator hands back memory that held other values.
%!test
%! K = 40; N = 300;
%! for trial = 1:20
%!   junk = rand (K) + 1; clear junk;
%!   assert (isequal (pairtally (rand (K, 1), rand (K, 1), rand (K), rand (K, 1)), zeros (K)));
%!   junk = rand (1, N) + 1; clear junk;
%!   [D, P, S] = pathtrace (rand (K, N), rand (K, 1), rand (K), 0);
%!   assert (isequal (S, zeros (1, N)));
%! endfor

## Results stay valid after their plug-ins are unloaded, and are ordinary
## values: copies are independent, 1-by-1 results are scalars.
%!test
%! [g, a, b, x, l] = chainsweep (rand (3, 1), rand (3), rand (3, 4));
%! [D, P, S] = pathtrace (0.1, 1, 1, 1);
%! kept = {g + 0, x + 0, D + 0};
%! clear chainsweep pathtrace
%! assert (isequal ({g, x, D}, kept));
%! h = g; h(1) = -1;
%! assert (isequal (g, kept{1}));
%! assert (isscalar (l) && isscalar (D) && isa (D, "double"));
%! clear g a b x l D P S h
