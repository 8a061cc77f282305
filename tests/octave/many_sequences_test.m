## hmm_fit_sequences (examples/): one model fitted to many sequences of
## different lengths, the E steps on worker processes (Octave's parallel
## package): the same bits as the plain loop, the log-likelihood of the
## forward recursion written out, and EM's M step on the summed counts.

%!shared truth, start, sequences
%! addpath (fullfile (fileparts (fileparts (fileparts (which ("many_sequences_test")))), "examples"));
%! truth.prior = [0.6; 0.3; 0.1];
%! truth.transmat = [0.8 0.15 0.05; 0.1 0.85 0.05; 0.2 0.2 0.6];
%! truth.emission = [0.6 0.2 0.1 0.1; 0.1 0.5 0.3 0.1; 0.05 0.05 0.2 0.7];
%! ## Lengths from 1 to 120 steps.
%! sequences = hmm_sample_sequences (truth, 1 + mod ((0:299) * 37, 120), 5);
%! start.prior = [1; 1; 1] / 3;
%! start.transmat = (truth.transmat + 0.3) ./ sum (truth.transmat + 0.3, 2);
%! start.emission = (truth.emission + 0.2) ./ sum (truth.emission + 0.2, 2);

%!test
%! ## On the processors' worker processes, or asked for more, as in a plain
%! ## loop: the same bits.
%! pkg load parallel
%! [one, loglik1, used1] = hmm_fit_sequences (sequences, start, 8, 1);
%! [two, loglik2, used2] = hmm_fit_sequences (sequences, start, 8, 2);
%! [many, loglik3, used3] = hmm_fit_sequences (sequences, start, 8, 7);
%! assert ([used1, used2, used3], [1, min(2, nproc ()), nproc()]);
%! assert (isequal (one, two) && isequal (loglik1, loglik2));
%! assert (isequal (one, many) && isequal (loglik1, loglik3));

%!test
%! ## The first log-likelihood is that of the forward recursion, scaled, in
%! ## m-code; EM never lowers it afterwards.
%! expected = 0;
%! for i = 1:numel (sequences)
%!   B = start.emission(:, sequences{i});
%!   a = start.prior .* B(:, 1);
%!   expected += log (sum (a));
%!   a /= sum (a);
%!   for t = 2:columns (B)
%!     a = (start.transmat' * a) .* B(:, t);
%!     expected += log (sum (a));
%!     a /= sum (a);
%!   endfor
%! endfor
%! [~, loglik] = hmm_fit_sequences (sequences, start, 30, 1);
%! assert (loglik(1), expected, 1e-12 * abs (expected));
%! assert (all (diff (loglik) >= -1e-9 * abs (loglik(2:end))));

%!test
%! ## One M step: each row of the summed counts, normalised.
%! counts = sum (hmm_sequence_counts (sequences, start), 2);
%! first = counts(2:4);
%! transitions = reshape (counts(5:13), 3, 3);
%! emissions = reshape (counts(14:25), 3, 4);
%! model = hmm_fit_sequences (sequences, start, 2, 1);
%! assert (model.prior, first / numel (sequences), 1e-14);
%! assert (model.transmat, transitions ./ sum (transitions, 2), 1e-14);
%! assert (model.emission, emissions ./ sum (emissions, 2), 1e-14);

%!test
%! ## A symbol no sequence shows keeps nothing, a state no step visits keeps
%! ## its rows.
%! lonely = start;
%! lonely.emission(3, :) = [0 0 0 1];
%! model = hmm_fit_sequences ({[1 2 1], [2 2 1 1]}, lonely, 2, 1);
%! assert (model.emission(3, :), [0 0 0 1]);
%! assert (model.transmat(3, :), lonely.transmat(3, :));
%! assert (model.emission(1:2, 4), [0; 0]);
