#Hclass	msd
#Hversion	1

#DParam 	4
	#real	se1`e
	#real	i1`i
	#real	c1`c
	#real	r1`r

#DIncond	2
	#real	1j1`p2.e_indep_state	i1`p.e_indep_state_ic
	#real	1j2`p2.f_indep_state	c1`p.f_indep_state_ic

#DVariable	8
	#real	se1`p.e	1j1`p1.e
	#real	se1`p.f	1j1`p1.f
	#real	1j1`p2.f	i1`p.f
	#real	1j1`p3.e	1j2`p1.e
	#real	1j1`p3.f	1j2`p1.f
	#real	1j2`p2.e	c1`p.e
	#real	1j2`p3.e	r1`p.e
	#real	1j2`p3.f	r1`p.f

#Dstate_ind	2
	#real	1j1`p2.e_indep_state	i1`p.e_indep_state
	#real	1j2`p2.f_indep_state	c1`p.f_indep_state

#DRate_ind	2
	#real	1j1`p2.e	i1`p.e
	#real	1j2`p2.f	c1`p.f

#EInitial	1
    V0 = P0

#Edynamic	6
    V2 = s0 / P1
    V5 = s1 / P2
    R1 = V2
    V6 = P3 * V2
    V3 = V5 + V6
    R0 = V0 - V3

#Eoutputs	3
    V1 = V2
    V4 = V2
    V7 = V2
