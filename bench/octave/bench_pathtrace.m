% pathtrace against the vectorised m-code Viterbi a user would write, K in
% {2, 8, 32, 128, 256} and N in {1e3, 1e4, 1e5}, normalisation on, CPU-time
% medians (fewer repetitions at the large sizes). Beside each row: the plain
% loops (the plug-in on its plain loops and one thread), the floors of
% creating and writing D, P and S once as Octave's own arrays and through the
% MEX API, and with BENCH_BASELINE another build ("today"); ns/cand is the
% plug-in's time per candidate, (N-1)*K^2 candidates a call.
function bench_pathtrace ()
  today = today_plugin ('pathtrace');
  printf ('pathtrace, C = 1 (ms; m = m-code, plug = pathtrace, plain = its plain loops)\n');
  printf ('%5s %7s | %9s %9s %9s %9s %9s %9s | %6s %6s %6s %8s %s\n', 'K', 'N', 'm-code', ...
          'plug-in', 'today', 'plain', 'floor own', 'floor mex', 'm/plug', 'today/', 'plain/', ...
          'ns/cand', 'same P');
  for N = [1e3 1e4 1e5]
    for K = [2 8 32 128 256]
      rand ('state', K + N);
      O = rand (K, N); R = rand (K, 1); T = rand (K); C = 1;
      reps = 5; if (K * K * N > 1e8) reps = 3; end
      plugin = @(f) @() run_plugin (f, O, R, T, C);
      sizes = [K N 1; K N 1; 1 N 1];
      [t, P] = side_by_side ({'m', @() viterbi_mcode(O, R, T), {}
                              'plug', plugin(@pathtrace), {}
                              'plain', plugin(@pathtrace), plain_loops()
                              'own', result_floor(1, sizes), {}
                              'mex', result_floor(0, sizes), {}
                              'today', only_if(! isempty (today), plugin (today)), {}}, reps);
      printf ('%5d %7d | %9s %9s %9s %9s %9s %9s | %6.2f %6s %6.2f %8.3f %s\n', K, N, ...
              format_ms (t.m), format_ms (t.plug), format_ms (t.today), format_ms (t.plain), ...
              format_ms (t.own), format_ms (t.mex), t.m / t.plug, format_ratio (t.today / t.plug), ...
              t.plain / t.plug, 1e9 * t.plug / ((N - 1) * K * K), ...
              yesno (isequal (P.m, P.plug, P.plain)));
    end
  end
  printf ('(today/ and plain/: their time over the plug-in''s; above 1, the plug-in is faster)\n');
end

function P = run_plugin (f, O, R, T, C)
  [~, P, ~] = f (O, R, T, C);
end

% The recursion with whole-matrix operations: candidates D(k,t-1)*T(k,j)
% rounded to single, the first maximum over k, columns scaled to sum 1.
% For positive inputs its back-pointers equal pathtrace's.
function P = viterbi_mcode (O, R, T)
  [K, N] = size (O);
  D = zeros (K, N); P = zeros (K, N);
  v = single (O(:,1) .* R(1:K)(:));
  scale = single (1) / sum (v);
  D(:,1) = double (scale) * double (v);
  for t = 2:N
    [best, from] = max (single (D(:,t-1) .* T), [], 1);
    v = single (double (best(:)) .* O(:,t));
    scale = single (1) / sum (v);
    D(:,t) = double (scale) * double (v);
    P(:,t) = from(:);
  end
end


function s = yesno (b)
  if (b) s = 'yes'; else s = 'NO'; end
end
