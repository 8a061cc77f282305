function [D, P, S] = pathtrace_reference (O, R, T, C)
  ## Plain-loop Viterbi recursion with single-precision products, maxima,
  ## column totals and scale factors; the yardstick for the compiled pathtrace.
  ## Mixed single/double arithmetic in Octave yields single, so every product
  ## that must stay double widens its single operand first.
  [K, N] = size (O);
  D = zeros (K, N);
  P = zeros (K, N);
  S = zeros (1, N);
  normalise = (C(1) != 0);
  initial_best = single (-1e20);

  total = single (0);
  for j = 1:K
    v = single (O(j,1) * R(j));
    D(j,1) = double (v);
    total = total + v;
  endfor
  if (normalise)
    [D(:,1), S(1)] = scale_column (D(:,1), total);
  endif

  for t = 2:N
    total = single (0);
    for j = 1:K
      best = initial_best;
      from = 0;
      for k = 1:K
        candidate = single (D(k,t-1) * T(k + (j-1)*K));
        if (candidate > best)
          best = candidate;
          from = k;
        endif
      endfor
      v = single (double (best) * O(j,t));
      D(j,t) = double (v);
      P(j,t) = from;
      total = total + v;
    endfor
    if (normalise)
      [D(:,t), S(t)] = scale_column (D(:,t), total);
    endif
  endfor
endfunction

function [column, scale] = scale_column (column, total)
  scale = double (single (1) / total);
  for j = 1:numel (column)
    column(j) = scale * column(j);
  endfor
endfunction
