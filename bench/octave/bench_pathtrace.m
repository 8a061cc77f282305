% pathtrace against the vectorised m-code Viterbi a user would write, K in
% {2, 8, 32, 128, 256} and N in {1e3, 1e4, 1e5}, normalisation on. Times are
% CPU-time medians (fewer repetitions at the large sizes); the floor column
% is the plug-in's time per candidate, (N-1)*K^2 candidates a call.
function bench_pathtrace ()
  printf ('pathtrace, C = 1, CPU-time medians; vector unit and threads as configured\n');
  printf ('%5s %7s %12s %12s %9s %14s %s\n', 'K', 'N', 'plug-in s', 'm-code s', 'm/plug', ...
          'ns/candidate', 'same P');
  for N = [1e3 1e4 1e5]
    for K = [2 8 32 128 256]
      rand ('state', K + N);
      O = rand (K, N); R = rand (K, 1); T = rand (K); C = 1;
      reps = 5; if (K * K * N > 1e8) reps = 1; elseif (K * K * N > 1e7) reps = 3; end
      [plug, P1] = median_cpu (@() run_plugin (O, R, T, C), reps);
      [mcode, P2] = median_cpu (@() viterbi_mcode (O, R, T), max (1, min (reps, 3)));
      printf ('%5d %7d %12.4f %12.4f %9.2f %14.3f %s\n', K, N, plug, mcode, mcode / plug, ...
              1e9 * plug / ((N - 1) * K * K), yesno (isequal (P1, P2)));
    end
  end
end

function P = run_plugin (O, R, T, C)
  [~, P] = pathtrace (O, R, T, C);
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
