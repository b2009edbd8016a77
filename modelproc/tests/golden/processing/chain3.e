#Hclass	chain
#Hversion	1

#DParam 	8
	#real	f`e
	#real	d`r
	#real	m0`i
	#real	k0`c
	#real	m1`i
	#real	k1`c
	#real	m2`i
	#real	k2`c

#DIncond	6
	#real	v0`p2.e_indep_state	m0`p.e_indep_state_ic
	#real	s0`p2.f_indep_state	k0`p.f_indep_state_ic
	#real	v1`p2.e_indep_state	m1`p.e_indep_state_ic
	#real	s1`p2.f_indep_state	k1`p.f_indep_state_ic
	#real	v2`p2.e_indep_state	m2`p.e_indep_state_ic
	#real	s2`p2.f_indep_state	k2`p.f_indep_state_ic

#DVariable	20
	#real	f`p.e	v0`p1.e
	#real	f`p.f	v0`p1.f
	#real	d`p.e	s2`p3.e
	#real	d`p.f	s2`p3.f
	#real	v0`p2.f	m0`p.f
	#real	v0`p3.e	s0`p1.e
	#real	v0`p3.f	s0`p1.f
	#real	s0`p2.e	k0`p.e
	#real	s0`p3.e	v1`p1.e
	#real	s0`p3.f	v1`p1.f
	#real	v1`p2.f	m1`p.f
	#real	v1`p3.e	s1`p1.e
	#real	v1`p3.f	s1`p1.f
	#real	s1`p2.e	k1`p.e
	#real	s1`p3.e	v2`p1.e
	#real	s1`p3.f	v2`p1.f
	#real	v2`p2.f	m2`p.f
	#real	v2`p3.e	s2`p1.e
	#real	v2`p3.f	s2`p1.f
	#real	s2`p2.e	k2`p.e

#Dstate_ind	6
	#real	v0`p2.e_indep_state	m0`p.e_indep_state
	#real	s0`p2.f_indep_state	k0`p.f_indep_state
	#real	v1`p2.e_indep_state	m1`p.e_indep_state
	#real	s1`p2.f_indep_state	k1`p.f_indep_state
	#real	v2`p2.e_indep_state	m2`p.e_indep_state
	#real	s2`p2.f_indep_state	k2`p.f_indep_state

#DRate_ind	6
	#real	v0`p2.e	m0`p.e
	#real	s0`p2.f	k0`p.f
	#real	v1`p2.e	m1`p.e
	#real	s1`p2.f	k1`p.f
	#real	v2`p2.e	m2`p.e
	#real	s2`p2.f	k2`p.f

#EInitial	1
    V0 = P0

#Edynamic	13
    V4 = s0 / P2
    V7 = s1 / P3
    V10 = s2 / P4
    V13 = s3 / P5
    V16 = s4 / P6
    V19 = s5 / P7
    V3 = V19 / P1
    R0 = V0 - V7
    R1 = V4 - V10
    R2 = V7 - V13
    R3 = V10 - V16
    R4 = V13 - V19
    R5 = V16 - V3

#Eoutputs	12
    V1 = V4
    V6 = V4
    V5 = V7
    V8 = V7
    V9 = V10
    V12 = V10
    V11 = V13
    V14 = V13
    V15 = V16
    V18 = V16
    V17 = V19
    V2 = V19
