#Hclass	pendulum
#Hversion	2

#DParam 	8
	#real	g
	#real	len	l
	#real	m
	#int	ip
	#real	M[1,1]
	#real	M[1,2]
	#real	M[2,1]
	#real	M[2,2]

#DIncond	2
	#real	phi
	#real	w

#DVariable	12
	#real	k
	#real	f[1]
	#real	f[2]
	#real	f[3]
	#real	tq
	#real	e
	#real	pos[1]
	#real	pos[2]
	#real	noise
	#real	energy
	#real	y
	#real	mm

#Dstate_ind	2
	#real	phi
	#real	w

#DRate_ind	2
	#real	phi_indep_rate
	#real	w_indep_rate

#DAlgloop	1
	#real	z

#EInitial	8
    V0 = P0 / P1
    V1 = V0 * 2.0
    V2 = -V0
    V3 = exp(V0)
    V11 = P4 [P3, 2]

#Einputs	1
    V8 = ran(P0)

#Edynamic	38
    R0 = s1
    V4 = if s0 > 0.5
	then -(V0 * sin(s0))
	elseif s0 < -0.5
	then V0 * 0.5
	else V0 * s0
	fi
    A0 = (a0 * 0.5) + V4
    V5 = V1 [P3]
    V6 [P3] = s0 * 2.0
    R1 = (((((V4 - (A0 * P1)) + V5) + V11) / ((P2 * P1) * P1)) - ((0.001 * \
      s1) * abs(s1))) + (0.0 * step(t - 1.0))

#Eoutputs	6
    V9 = ((((0.5 * P2) * P1) * P1) * s1) * s1
    V10 = V9
