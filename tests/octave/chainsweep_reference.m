function [gamma, alpha, beta, xi, loglik] = chainsweep_reference (prior, transmat, obslik)
  ## Forward-backward smoothing in plain m-code, with every sum taken in the
  ## plug-in's order (ascending, from 0), so the results agree bit for bit.
  ## The logarithm is the plug-in's own (natural_log_reference.m).
  ## Element-wise operations are vectorised: each element is one rounding
  ## either way. Sums use cumsum, whose last element is the left-to-right sum.
  K = numel (prior);
  T = columns (obslik);
  alpha = zeros (K, T);
  beta = zeros (K, T);
  gamma = zeros (K, T);
  xi = zeros (K, K, T);
  loglik = 0;

  alpha(:,1) = prior(:) .* obslik(:,1);
  [alpha(:,1), scale] = normalise (alpha(:,1));
  loglik = loglik + natural_log_reference (scale);
  for t = 2:T
    predicted = times_vector (transmat.', alpha(:,t-1));
    [alpha(:,t), scale] = normalise (predicted .* obslik(:,t));
    loglik = loglik + natural_log_reference (scale);
  endfor

  beta(:,T) = 1;
  gamma(:,T) = alpha(:,T);
  for t = T-1:-1:1
    weighted = beta(:,t+1) .* obslik(:,t+1);
    beta(:,t) = normalise (times_vector (transmat, weighted));
    slice = transmat .* (alpha(:,t) * weighted.');
    xi(:,:,t) = reshape (normalise (slice(:)), K, K);
    gamma(:,t) = normalise (alpha(:,t) .* beta(:,t));
  endfor
endfunction

function out = times_vector (M, v)
  ## out(i) = sum over ascending j of M(i,j) * v(j), each partial sum rounded.
  out = zeros (rows (M), 1);
  for j = 1:columns (M)
    out = out + M(:,j) * v(j);
  endfor
endfunction

function [v, total] = normalise (v)
  if (any (v < 0))
    error ("We don't want to normalize if A contains a negative value. This is a logical error.");
  endif
  if (isempty (v))
    total = 0;
    return;
  endif
  sums = cumsum ([0; v(:)]);
  total = sums(end);
  if (total > 0)
    v = v / total;
  endif
endfunction
