% The example S-function in GNU Octave, next to a second S-function generated from
% the same model with the moon's gravity (crankmoon): sizes and initial states,
% outputs, derivatives against the crank's own right-hand side, ode45 on the MEX
% file against ode45 on that right-hand side, terminate and initialize again, and
% two MEX files that keep their own data.  Any failed check stops with an error.
1;

function dx = crank (x, u, g)
  dx = [x(2); u - 0.25 * g * sin(x(1)) - 0.05 * x(2)];
end

function expect_error (call, what)
  try
    call ();
  catch
    return;
  end
  error ('crankmod_checks: %s gave no error', what);
end

rand ('state', 20260522);

% sizes: 2 continuous, 0 discrete states, 1 output, 1 input, direct feedthrough,
% one continuous sample time; the states start at rest
[sys, x0, str, ts] = crankmod ([], [], [], 0);
assert (sys(:)', [2 0 1 1 0 1 1]);
assert (x0, [0; 0]);
assert (isempty (str));
assert (ts, [0 0]);

% with a zero input and zero states the output is zero, whenever asked
for t = [0 0.25 7.5]
  assert (crankmod (t, [0; 0], 0, 3), 0);
  assert (crankmod (t, [0; 0], 0, 1), [0; 0]);
end

% the output is the angle, computed for the states of the call
assert (crankmod (0.5, [0.3; -1.2], 0.7, 3), 0.3);
assert (crankmod (0.5, [-2.5; 4], 0, 3), -2.5);

% derivatives at random times, states and inputs
for k = 1:500
  t = 20 * rand ();
  x = 8 * rand (2, 1) - 4;
  u = 6 * rand () - 3;
  assert (crankmod (t, x, u, 1), crank (x, u, 9.8), 1e-14);
end

% ode45 on the MEX file follows ode45 on the right-hand side, and the outputs along
% the way are the angle
drive = @(t) 0.8 * sin (1.3 * t) + 0.2;
options = odeset ('RelTol', 1e-9, 'AbsTol', 1e-11);
times = (0:0.05:6)';
[tm, xm] = ode45 (@(t, x) crankmod (t, x, drive (t), 1), times, [0.4; 0], options);
[tr, xr] = ode45 (@(t, x) crank (x, drive (t), 9.8), times, [0.4; 0], options);
assert (tm, tr);
assert (xm, xr, 1e-9);
assert (max (abs (xm(:, 1))) > 0.1);
for k = 1:numel (tm)
  assert (crankmod (tm(k), xm(k, :)', drive (tm(k)), 3), xm(k, 1));
end
printf ('crankmod: ode45 over %d points, largest difference %g\n', numel (tm), max (abs (xm(:) - xr(:))));

% terminate gives the memory back, twice is harmless; then the block needs a new
% initialization, after which it works as before
crankmod ([], [], [], 9);
crankmod ([], [], [], 9);
expect_error (@() crankmod (0, [0; 0], 0, 1), 'derivatives after terminate');
expect_error (@() crankmod (0, [0; 0], 0, 3), 'outputs after terminate');
[sys, x0] = crankmod ([], [], [], 0);
assert (x0, [0; 0]);
assert (crankmod (1, [0.6; 0.2], -0.4, 1), crank ([0.6; 0.2], -0.4, 9.8), 1e-14);

% calls that do not fit the block are refused
expect_error (@() crankmod (0, [0; 0; 0], 0, 1), 'three states');
expect_error (@() crankmod (0, [0; 0], [1 2], 1), 'two inputs');
expect_error (@() crankmod (0, [0; 0], 0, 7), 'flag 7');
expect_error (@() crankmod (0, [0; 0], 0, 1.5), 'flag 1.5');
expect_error (@() crankmod (0, [0; 0], 0), 'three arguments');
assert (crankmod (0, [0; 0], 0, 2), zeros (0, 1));
assert (crankmod (0, [0; 0], 0, 4), zeros (0, 1));

% two MEX files in one session: each keeps its own parameters and arrays, through
% interleaved calls and while the other is terminated
[sys, x0] = crankmoon ([], [], [], 0);
assert (sys(:)', [2 0 1 1 0 1 1]);
for k = 1:100
  x = 8 * rand (2, 1) - 4;
  u = 6 * rand () - 3;
  assert (crankmod (k, x, u, 1), crank (x, u, 9.8), 1e-14);
  assert (crankmoon (k, x, u, 1), crank (x, u, 1.62), 1e-14);
end
crankmoon ([], [], [], 9);
assert (crankmod (2, [1; 1], 1, 1), crank ([1; 1], 1, 9.8), 1e-14);
expect_error (@() crankmoon (0, [0; 0], 0, 1), 'the terminated second file');
crankmod ([], [], [], 9);

printf ('crankmod: all checks passed\n');
